// An update through the boot loader that ends before its last write: the line cut at several points, a
// refused checksum or copy, a stop. The job writes the copy that holds the vector table last, so the
// simulated part's vectors never sum to 0 after such an end (at a reset it starts its boot loader, not
// half a firmware), the window and hlx say so, and the same update, repeated on the part as it was left,
// programs the file exactly. The real job frame and serial port against the simulated LPC boot loader on a
// pseudo-terminal; hlx against the same.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <ostream>
#include <stop_token>
#include <string>
#include <vector>

#include "app/job_status.h"
#include "app/main_window_logic.h"
#include "app/settings_store.h"
#include "firmware/hex_image.h"
#include "firmware/isp_blocks.h"
#include "firmware/isp_download.h"
#include "serial/posix_serial_device.h"
#include "tests/app/fake_main_window_view.h"
#include "tests/support/child_process.h"
#include "tests/support/contains.h"
#include "tests/support/fake_output_window.h"
#include "tests/support/hex_text.h"
#include "tests/support/isp_flash.h"
#include "tests/support/job_runner.h"
#include "tests/support/job_view_log.h"
#include "tests/support/temp_dir.h"
#include "tools/lpc_isp_sim.h"

namespace hlx {
namespace {

using test::contains;

// 64 KiB of firmware from address 0, its vector table included, as a linker writes it.
test::HexText firmware64k() {
    test::HexText file;
    file.page(0x0000).fill(0x0000, 0x10000, 32);
    return file.end();
}

// The part answers as fast as the pseudo-terminal carries bytes: the cuts lie on bytes, not on time.
tools::LpcIspConfig unpaced() {
    tools::LpcIspConfig config;
    config.baud = 0;
    return config;
}

std::vector<std::string> copyCommands(const std::vector<std::string>& commands) {
    std::vector<std::string> copies;
    for (const std::string& c : commands)
        if (c.starts_with("C ")) copies.push_back(c);
    return copies;
}

class IspCutTest : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir.file("firmware.hex");
        test::writeFile(path, file.text());
    }

    // Runs the update through a job slot against sim, as the window does; -1 when it was stopped.
    std::int32_t update(tools::LpcIspSim& sim, const jobs::JobDefinition& job, std::stop_token stop = {}) {
        window.setText("");
        view.reset();
        jobs::JobInputs inputs;
        inputs.comText = sim.slavePath();
        inputs.filePath = path;
        return test::runJobInSlot(job, {port, replyDeadline, log, view}, inputs, stop);
    }
    std::int32_t update(tools::LpcIspSim& sim) { return update(sim, firmware::ispDownloadJob()); }

    // What a whole update sends, byte by byte, and the simulated part's counts, to place the cuts.
    struct Wire {
        std::string bytes;
        int checksumLines = 0;
        std::vector<std::string> copies;
    };
    Wire wholeUpdate() {
        tools::LpcIspSim sim(unpaced());
        EXPECT_EQ(0, update(sim));
        return {sim.received(), sim.checksumLines(), copyCommands(sim.commands())};
    }

    // The part as the cut left it, reset and in its boot loader: the same update again programs the file.
    void expectRepeatedUpdateProgramsTheFile(const tools::LpcIspSim& cut) {
        tools::LpcIspConfig config = unpaced();
        config.flash = cut.flash();
        tools::LpcIspSim again(config);
        EXPECT_EQ(0, update(again)) << window.text();
        EXPECT_EQ(test::expectedIspFlash(file), again.flash());
        EXPECT_TRUE(again.userCodeValid());
        EXPECT_EQ(0u, again.bytesProgrammedTwice());
    }

    test::TempDir dir;
    const test::HexText file = firmware64k();
    std::string path;
    serial::SerialPort port{std::make_unique<serial::PosixSerialDevice>()};
    serial::Deadline replyDeadline;
    test::FakeOutputWindow window;
    output::OutputLog log{window};
    test::JobViewLog view;
};

// The copy at 0 goes last; the copies are the ones the file's order plans (so the wire carries no more),
// and with --verify every other copy is read back before it.
TEST_F(IspCutTest, TheVectorTableIsTheLastCopy) {
    tools::LpcIspSim sim(unpaced());
    ASSERT_EQ(0, update(sim, firmware::ispDownloadJob({.verify = true}))) << window.text();
    EXPECT_EQ(test::expectedIspFlash(file), sim.flash());
    EXPECT_TRUE(sim.userCodeValid());

    const std::vector<std::string> commands = sim.commands();
    std::vector<std::string> copies = copyCommands(commands);
    ASSERT_FALSE(copies.empty());
    EXPECT_EQ("C 0 1073745920 4096", copies.back());

    firmware::HexImage image;
    ASSERT_TRUE(image.assign(file.text()));
    firmware::IspTransferPlan plan(image);
    std::vector<std::string> planned;
    for (std::int32_t word = 0; !plan.atEnd();)
        for (const firmware::CopyChunk& chunk : plan.next(word).copies)
            planned.push_back("C " + std::to_string(chunk.address) + " 1073745920 " +
                              std::to_string(chunk.size));
    std::sort(planned.begin(), planned.end());
    std::sort(copies.begin(), copies.end());
    EXPECT_EQ(planned, copies) << "the same copies as in the file's order, no more";

    const auto lastCopy = std::find(commands.begin(), commands.end(), "C 0 1073745920 4096");
    const auto reads = std::count_if(commands.begin(), lastCopy, [](const std::string& c) {
        return c.starts_with("R ") && !c.starts_with("R 0 ");
    });
    EXPECT_EQ(static_cast<long>(copies.size()) - 1, reads) << "every other copy read back before the last";
    EXPECT_TRUE(
        std::any_of(lastCopy, commands.end(), [](const std::string& c) { return c.starts_with("R 0 "); }));
    EXPECT_TRUE(contains(window.text(), "Flash stimmt mit der Datei überein")) << window.text();
}

struct CutCase {
    const char* name;
    bool lastCopySent;  // the job sent the last copy's command whole (the part may not have it)
    // The fault, placed on what a whole update sends.
    std::function<tools::LpcIspFaults(const std::string& wire, int checksumLines, std::size_t copies)> fault;
};

void PrintTo(const CutCase& c, std::ostream* os) {
    *os << c.name;
}

class IspCutPointTest : public IspCutTest, public ::testing::WithParamInterface<CutCase> {};

TEST_P(IspCutPointTest, LeavesTheVectorsInvalidAndTheUpdateRepeatable) {
    const Wire whole = wholeUpdate();
    const tools::LpcIspFaults faults =
        GetParam().fault(whole.bytes, whole.checksumLines, whole.copies.size());
    if (faults.hangUpAfter > 0) {
        ASSERT_LT(faults.hangUpAfter, static_cast<std::int64_t>(whole.bytes.size()));
    }

    tools::LpcIspSim sim(unpaced());
    sim.setFaults(faults);
    EXPECT_NE(0, update(sim));
    EXPECT_EQ(1, sim.erases());
    EXPECT_FALSE(sim.userCodeValid()) << "the part would start half a firmware";
    EXPECT_EQ(0, sim.goCount());
    const std::string text = window.text();
    const std::string said =
        GetParam().lastCopySent ? firmware::vectorsUnconfirmedLine() : firmware::bootLoaderStartsLine();
    EXPECT_TRUE(contains(text, firmware::notStartedLine() + "\r\n" + said + "\r\n")) << text;
    EXPECT_FALSE(contains(text, output::kSuccessLine));

    expectRepeatedUpdateProgramsTheFile(sim);
}

std::int64_t at(std::size_t position) {
    EXPECT_NE(std::string::npos, position);
    return static_cast<std::int64_t>(position);
}

const CutCase kCutCases[] = {
    {"CutInTheFirstCopysData", false,
     [](const std::string& wire, int, std::size_t) {
         return tools::LpcIspFaults{.hangUpAfter = at(wire.find("W 1073745920")) + 500};
     }},
    {"CutInTheMiddle", false,
     [](const std::string& wire, int, std::size_t) {
         return tools::LpcIspFaults{.hangUpAfter = static_cast<std::int64_t>(wire.size() / 2)};
     }},
    {"CutAfter60000Bytes", false,
     [](const std::string&, int, std::size_t) { return tools::LpcIspFaults{.hangUpAfter = 60000}; }},
    {"CutBeforeTheLastCopy", false,
     [](const std::string& wire, int, std::size_t) {
         return tools::LpcIspFaults{.hangUpAfter = at(wire.rfind("W 1073745920"))};
     }},
    {"CutInTheLastCopysData", false,
     [](const std::string& wire, int, std::size_t) {
         return tools::LpcIspFaults{.hangUpAfter = at(wire.rfind("W 1073745920")) + 3000};
     }},
    {"CutInTheLastCopyCommand", true,
     [](const std::string& wire, int, std::size_t) {
         return tools::LpcIspFaults{.hangUpAfter = at(wire.rfind("C 0 ")) + 4};
     }},
    {"LastChecksumRefused", false,
     [](const std::string&, int checksumLines, std::size_t) {
         return tools::LpcIspFaults{.resendAtChecksum = checksumLines};
     }},
    {"LastButOneCopyRefused", false,
     [](const std::string&, int, std::size_t copies) {
         return tools::LpcIspFaults{
             .failCommand = 'C', .failOccurrence = static_cast<int>(copies) - 1, .failCode = 3};
     }},
    {"LastCopyRefused", false,
     [](const std::string&, int, std::size_t copies) {
         return tools::LpcIspFaults{
             .failCommand = 'C', .failOccurrence = static_cast<int>(copies), .failCode = 3};
     }},
};

INSTANTIATE_TEST_SUITE_P(BootLoader, IspCutPointTest, ::testing::ValuesIn(kCutCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Cut once the last copy's command is whole: the part made the copy but its answer never came. Every other
// copy was confirmed, so the flash holds the whole file; the job cannot know that and says both.
TEST_F(IspCutTest, CutAfterTheLastCopyCommandSaysItIsUnconfirmed) {
    const Wire whole = wholeUpdate();
    const std::size_t command = whole.bytes.rfind("C 0 ");
    ASSERT_NE(std::string::npos, command);
    tools::LpcIspSim sim(unpaced());
    sim.setFaults({.hangUpAfter = static_cast<std::int64_t>(whole.bytes.find('\n', command) + 1)});
    EXPECT_NE(0, update(sim));
    EXPECT_TRUE(contains(window.text(), firmware::vectorsUnconfirmedLine())) << window.text();
    EXPECT_EQ(test::expectedIspFlash(file), sim.flash());
}

// A stop (the window closing, Ctrl-C) once the flash is erased: the frame ends at once, and what the part
// was left in is the definition's note for the runner.
TEST_F(IspCutTest, AStopAfterTheEraseLeavesTheBootLoaderInCharge) {
    std::stop_source stop;
    tools::LpcIspConfig config = unpaced();
    config.onEvent = [&stop](const std::string& event) {
        if (event.starts_with("erased sectors")) stop.request_stop();
    };
    tools::LpcIspSim sim(config);
    const jobs::JobDefinition job = firmware::ispDownloadJob();
    EXPECT_EQ(-1, update(sim, job, stop.get_token()));
    EXPECT_EQ(1, sim.erases());
    EXPECT_FALSE(sim.userCodeValid());
    EXPECT_TRUE(contains(job.deviceNote(), "the chip starts its boot loader at its next reset"))
        << job.deviceNote();

    expectRepeatedUpdateProgramsTheFile(sim);
}

// The window's "Update (Bootloader)" cut off half-way: its output says what the part starts at its next
// reset, and the status bar has the failure.
TEST_F(IspCutTest, TheWindowSaysThePartStartsItsBootLoader) {
    tools::LpcIspSim sim(unpaced());
    sim.setFaults({.hangUpAfter = 60000});
    test::FakeMainWindowView windowView;
    app::SettingsStore store(dir.file("RTQ1.0.reg"));
    serial::SerialPort windowPort(std::make_unique<serial::PosixSerialDevice>());
    app::MainWindowLogic logic(windowView, windowPort, store);
    windowView.edits[app::Edit::ComNr] = sim.slavePath();
    windowView.edits[app::Edit::FirmwareFileBootLoader] = path;
    logic.construct();
    logic.startJob(jobs::JobKind::BootLoader);
    logic.jobSlot().wait();

    EXPECT_TRUE(contains(windowView.window.text(), firmware::bootLoaderStartsLine()))
        << windowView.window.text();
    const std::vector<app::JobStatus> statuses = windowView.jobStatuses();
    ASSERT_FALSE(statuses.empty());
    EXPECT_EQ(app::JobOutcome::Failed, statuses.back().outcome);
    EXPECT_FALSE(sim.userCodeValid());
    EXPECT_TRUE(logic.close());
}

// hlx stopped by SIGINT once the flash is erased says what the part will do; in a gang, the port whose line
// was cut says it in the summary, and the other port is programmed whole.
TEST_F(IspCutTest, HlxSaysWhatThePartStartsAfterAStopAndInAGang) {
    std::atomic<test::ChildProcess*> child{nullptr};
    tools::LpcIspConfig config = unpaced();
    config.onEvent = [&child](const std::string& event) {
        if (test::ChildProcess* c = child.load(); c && event.starts_with("erased sectors")) c->signal(SIGINT);
    };
    tools::LpcIspSim stopped(config);
    {
        test::ChildProcess hlx(HLX_CLI_PATH, {"flash", "isp", path, "--port", stopped.slavePath()});
        child = &hlx;
        const test::ChildRun run = hlx.finish();
        child = nullptr;
        EXPECT_EQ(130, run.shellStatus()) << run.err;
        EXPECT_TRUE(contains(run.err,
                             "hlx: stopped by SIGINT; the flash is erased and partly written, its vector "
                             "table not: the chip starts its boot loader at its next reset"))
            << run.err;
    }
    EXPECT_FALSE(stopped.userCodeValid());

    tools::LpcIspSim cut(unpaced());
    cut.setFaults({.hangUpAfter = 60000});
    tools::LpcIspSim whole(unpaced());
    const std::string report = dir.file("run.json");
    test::ChildProcess gang(HLX_CLI_PATH, {"flash", "isp", path, "--port", cut.slavePath(), "--port",
                                           whole.slavePath(), "--report", report});
    const test::ChildRun run = gang.finish(std::chrono::seconds{60});
    EXPECT_EQ(1, run.exitCode) << run.out << run.err;
    EXPECT_TRUE(contains(run.err, "hlx: " + cut.slavePath() + ": the flash is erased and partly written"))
        << run.err;
    EXPECT_FALSE(contains(run.err, "hlx: " + whole.slavePath() + ":")) << run.err;
    EXPECT_FALSE(cut.userCodeValid());
    EXPECT_EQ(test::expectedIspFlash(file), whole.flash());
    EXPECT_TRUE(whole.userCodeValid());

    // The record counts as confirmed the data of the copies the part answered: all of the whole port's,
    // less than was sent on the cut one.
    const nlohmann::json jobs = nlohmann::json::parse(test::readFile(report))["jobs"];
    ASSERT_EQ(2u, jobs.size());
    EXPECT_LT(jobs[0]["bytes_confirmed"].get<std::int64_t>(), jobs[0]["bytes_sent"].get<std::int64_t>());
    EXPECT_GT(jobs[0]["bytes_confirmed"].get<std::int64_t>(), 0);
    EXPECT_LT(jobs[0]["lines_confirmed"].get<std::int64_t>(), jobs[0]["lines_sent"].get<std::int64_t>());
    EXPECT_EQ(jobs[1]["bytes_sent"], jobs[1]["bytes_confirmed"]);
    EXPECT_EQ(jobs[1]["lines_sent"], jobs[1]["lines_confirmed"]);
}

// An update with a backup, cut off after the backup was written: the part starts its boot loader; the
// backup, flashed back and cut off again, leaves it so too; flashed back whole, it restores the sectors
// (all but the boot loader's own vectors at 0x00..0x3F, which cannot be read).
TEST_F(IspCutTest, ABackupSurvivesACutUpdateAndRestoresTheSectors) {
    tools::LpcIspSim part(unpaced());
    const std::vector<std::uint8_t> old = part.flash();
    part.setFaults({.hangUpAfter = 40000});  // the backup's commands are a few thousand bytes
    const std::string backup = dir.file("old.hex");
    test::ChildRun run = test::ChildProcess(HLX_CLI_PATH, {"flash", "isp", path, "--port", part.slavePath(),
                                                           "--backup", backup})
                             .finish(std::chrono::seconds{60});
    EXPECT_EQ(1, run.exitCode) << run.out << run.err;
    EXPECT_TRUE(contains(run.out, firmware::bootLoaderStartsLine())) << run.out;
    EXPECT_FALSE(part.userCodeValid());
    const auto saved = test::hexBytesOf(test::readFile(backup));
    ASSERT_TRUE(saved.has_value());
    std::map<std::uint32_t, std::uint8_t> oldBytes;
    for (std::uint32_t at = 0x40; at < old.size(); ++at) oldBytes[at] = old[at];
    EXPECT_EQ(oldBytes, *saved);

    tools::LpcIspConfig config = unpaced();
    config.flash = part.flash();
    tools::LpcIspSim restoreCut(config);
    restoreCut.setFaults({.hangUpAfter = 200000});
    run = test::ChildProcess(HLX_CLI_PATH, {"flash", "isp", backup, "--port", restoreCut.slavePath()})
              .finish(std::chrono::seconds{60});
    EXPECT_EQ(1, run.exitCode) << run.out << run.err;
    EXPECT_TRUE(contains(run.out, firmware::bootLoaderStartsLine())) << run.out;
    EXPECT_FALSE(restoreCut.userCodeValid());

    config.flash = restoreCut.flash();
    tools::LpcIspSim restored(config);
    run = test::ChildProcess(HLX_CLI_PATH, {"flash", "isp", backup, "--port", restored.slavePath()})
              .finish(std::chrono::seconds{60});
    EXPECT_EQ(0, run.exitCode) << run.out << run.err;
    std::vector<std::uint8_t> expected = old;
    std::fill(expected.begin(), expected.begin() + 0x40, 0xFF);
    EXPECT_EQ(expected, restored.flash());
}

}  // namespace
}  // namespace hlx
