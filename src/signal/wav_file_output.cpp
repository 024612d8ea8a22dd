#include "signal/wav_file_output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace tarvex {
namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

} // namespace

bool WavFileOutput::play(std::span<const uint8_t> image, PlayMode) {
    auto failed = [this](const char* what) {
        m_error = std::string("cannot ") + what + " " + m_path + ": " + std::strerror(errno);
        return false;
    };
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(m_path.c_str(), "wb"));
    if (!file)
        return failed("create");
    if (!image.empty() && std::fwrite(image.data(), 1, image.size(), file.get()) != image.size())
        return failed("write");
    if (std::fclose(file.release()) != 0)
        return failed("write");
    m_error.clear();
    ++m_written;
    return true;
}

} // namespace tarvex
