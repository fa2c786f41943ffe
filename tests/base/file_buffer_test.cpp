// The file buffer shared by the jobs of a gang run: views read the one copy, each at its own position,
// and can never change it; the load count tells whether a job read a file.

#include "base/file_buffer.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "tests/support/temp_dir.h"

namespace hlx::base {
namespace {

TEST(FileBuffer, ViewsReadTheSameBytesEachAtItsOwnPosition) {
    FileBuffer file;
    ASSERT_TRUE(file.assign("0123456789").isOk());
    const auto first = FileBuffer::readOnlyView(file);
    const auto second = FileBuffer::readOnlyView(file);
    EXPECT_TRUE(first->readOnly());
    EXPECT_FALSE(file.readOnly());
    EXPECT_EQ(file.data(), first->data()) << "shared, not copied";
    first->setPosition(7);
    EXPECT_EQ(7, first->position());
    EXPECT_EQ(0, second->position());
    EXPECT_EQ(0, file.position());
    EXPECT_EQ("0123456789", second->bytes());
    EXPECT_EQ(10, second->lastFileSize());
}

TEST(FileBuffer, AViewRefusesToBeLoadedOrAssigned) {
    test::TempDir dir;
    test::writeFile(dir.file("other.hex"), "other");
    FileBuffer file;
    ASSERT_TRUE(file.assign("shared").isOk());
    const auto view = FileBuffer::readOnlyView(file);
    EXPECT_FALSE(view->load(dir.file("other.hex")).isOk());
    EXPECT_FALSE(view->assign("changed").isOk());
    EXPECT_NE(std::string::npos, view->lastError().message().find("read-only"))
        << view->lastError().message();
    EXPECT_EQ("shared", view->bytes());
    EXPECT_EQ("shared", file.bytes());
}

TEST(FileBuffer, ViewsOutliveTheirSourceAndServeThreadsAtOnce) {
    std::vector<std::unique_ptr<FileBuffer>> views;
    {
        FileBuffer file;
        ASSERT_TRUE(file.assign(std::string(100000, 'x')).isOk());
        for (int i = 0; i < 4; ++i) views.push_back(FileBuffer::readOnlyView(file));
    }
    std::vector<std::thread> readers;
    std::vector<std::size_t> counted(views.size());
    for (std::size_t i = 0; i < views.size(); ++i)
        readers.emplace_back([&, i] {
            FileBuffer& view = *views[i];
            for (; !view.atEnd(); view.setPosition(view.position() + 1))
                if (view.data()[view.position()] == 'x') ++counted[i];
        });
    for (std::thread& t : readers) t.join();
    for (std::size_t n : counted) EXPECT_EQ(100000u, n);
}

TEST(FileBuffer, LoadsCountOnlyWhatWasRead) {
    test::TempDir dir;
    test::writeFile(dir.file("a.hex"), "a");
    FileBuffer file;
    EXPECT_EQ(0u, file.loads());
    ASSERT_TRUE(file.load(dir.file("a.hex")).isOk());
    EXPECT_EQ(1u, file.loads());
    EXPECT_FALSE(file.load(dir.file("missing.hex")).isOk());
    EXPECT_FALSE(file.load(dir.path()).isOk()) << "a folder";
    EXPECT_EQ(1u, file.loads()) << "a refused load reads nothing";
    ASSERT_TRUE(file.assign("b").isOk());
    EXPECT_EQ(2u, file.loads());
}

}  // namespace
}  // namespace hlx::base
