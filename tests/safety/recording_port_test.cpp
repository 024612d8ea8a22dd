// The file-recording port that the signal tests watch: every byte reaches the file at
// once, in order, after whatever the file held; an unusable file is refused with the reason,
// and a write that fails is reported, never taken for a success.
#include "encoder/errors.h"
#include "txcontrol/recording_file_port.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <unistd.h>

using namespace tarvex;

namespace {

std::string contents(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

TEST(RecordingFilePort, AppendsEachByteAtOnceAfterWhatWasThere) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("tarvex-record-" + std::to_string(::getpid()) + ".bin");
    std::ofstream(path, std::ios::binary) << "x";
    {
        RecordingFilePort port(path.string());
        EXPECT_TRUE(port.writeByte(0x378, 0x08));
        // Already in the file while the port is still open: a killed program loses nothing.
        EXPECT_EQ(contents(path), std::string("x\x08", 2));
        EXPECT_TRUE(port.writeByte(0x378, 0x00));
        EXPECT_TRUE(port.lastStatus().success);
    }
    EXPECT_EQ(contents(path), std::string("x\x08\x00", 3));
    std::filesystem::remove(path);
}

TEST(RecordingFilePort, UnusableFileIsRefusedAndFailedWritesAreReported) {
    try {
        RecordingFilePort port("/nonexistent-folder/port.bin");
        FAIL() << "opened a file in a folder that does not exist";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "/nonexistent-folder/port.bin: No such file or directory");
    }
    RecordingFilePort full("/dev/full"); // every write fails: no space left
    EXPECT_FALSE(full.writeByte(0x378, 0x01));
    EXPECT_FALSE(full.lastStatus().success);
    EXPECT_EQ(full.lastStatus().text, "/dev/full: No space left on device");
}
