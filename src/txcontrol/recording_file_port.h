#pragma once
// A port that stands in for the parallel port when there is none to watch: every byte
// written is appended to a file at once, so another process (a test, an operator with
// `xxd`) can see the keyed and released levels even after the program was killed.
#include "txcontrol/port_writer.h"

#include <cstdio>
#include <memory>
#include <string>

namespace tarvex {

class RecordingFilePort : public PortWriter {
public:
    /// Opens (creates) the file for appending. Throws tarvex::Error naming the file and
    /// the reason when it cannot be opened.
    explicit RecordingFilePort(std::string path);

    /// Appends the value and flushes it to the file before returning.
    bool writeByte(uint16_t port, uint8_t value) override;

    const std::string& path() const { return m_path; }

private:
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::string m_path;
    std::unique_ptr<std::FILE, Closer> m_file;
};

} // namespace tarvex
