#pragma once
// PseudoTerminal: a real pseudo-terminal pair for link tests. The code under test opens slavePath() like
// any serial port; the test plays the monitor on the master side.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace hlx::test {

class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    const std::string& slavePath() const { return m_slavePath; }
    int masterFd() const { return m_master; }

    void send(std::string_view bytes);
    void send(std::initializer_list<std::uint8_t> bytes);
    // Reads what the code under test wrote, waiting up to timeout for at least `atLeast` bytes.
    std::string receive(std::size_t atLeast = 1,
                        std::chrono::milliseconds timeout = std::chrono::milliseconds{1000});
    // Closes the master side: the slave then reports a hang-up, like an unplugged adapter.
    void hangUp();
    // Bytes sent that the code under test has not read yet.
    std::size_t unread() const;

private:
    int m_master = -1;
    int m_slaveKeep = -1;  // keeps the slave side alive between the test's opens
    std::string m_slavePath;
};

}  // namespace hlx::test
