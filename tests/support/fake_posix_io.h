#pragma once
// A PosixIo that records every call and plays back scripted failures, for the serial and
// CM108 keying tests.
#include "txcontrol/ptt/posix_io.h"

#include "txcontrol/keying.h"
#include "txcontrol/ptt/ptt_line.h"
#include <cstdint>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tarvex::test {

struct IoCall {
    std::string what; ///< "open", "close", "ioctl", "write", "keepLines"
    int fd = -1;
    unsigned long request = 0; ///< ioctl only
    int arg = 0;               ///< ioctl only
    std::vector<uint8_t> data; ///< write only
    std::string path;          ///< open only
    int flags = 0;             ///< open only
    bool operator==(const IoCall&) const = default;
};

class FakePosixIo : public PosixIo {
public:
    int open(const char* path, int flags) override {
        calls.push_back({"open", -1, 0, 0, {}, path, flags});
        if (int e = take("open"))
            return -e;
        return nextFd++;
    }
    int close(int fd) override {
        calls.push_back({"close", fd, 0, 0, {}, {}, 0});
        return -take("close");
    }
    int ioctlInt(int fd, unsigned long request, int* arg) override {
        calls.push_back({"ioctl", fd, request, *arg, {}, {}, 0});
        return -take("ioctl");
    }
    long write(int fd, const void* data, std::size_t size) override {
        const auto* bytes = static_cast<const uint8_t*>(data);
        calls.push_back({"write", fd, 0, 0, {bytes, bytes + size}, {}, 0});
        if (int e = take("write"))
            return -e;
        return shortWrite >= 0 ? shortWrite : static_cast<long>(size);
    }
    int keepLinesOnClose(int fd) override {
        calls.push_back({"keepLines", fd, 0, 0, {}, {}, 0});
        return -take("keepLines");
    }

    /// The next call named `what` fails with `error`.
    void failNext(const std::string& what, int error) { failures[what].push_back(error); }
    std::vector<IoCall> named(const std::string& what) const {
        std::vector<IoCall> out;
        for (const auto& c : calls)
            if (c.what == what)
                out.push_back(c);
        return out;
    }

    std::vector<IoCall> calls;
    int nextFd = 7;
    long shortWrite = -1;

private:
    int take(const std::string& what) {
        auto& queue = failures[what];
        if (queue.empty())
            return 0;
        const int e = queue.front();
        queue.erase(queue.begin());
        return e;
    }
    std::map<std::string, std::vector<int>> failures;
};

/// A line keyed the way the station keys it: released when it starts (which opens the
/// device) and when it goes, with the polarity `inverted` gives (null: active high).
class StationLine {
public:
    StationLine(std::unique_ptr<PttLine> line, std::function<bool()> inverted)
        : m_keyer(withPolarity(std::move(line), std::move(inverted))) {
        m_keyer.UnkeyTransmitter();
    }
    bool key() {
        m_keyer.KeyTransmitter();
        return lastStatus().success;
    }
    bool release() {
        m_keyer.UnkeyTransmitter();
        return lastStatus().success;
    }
    const PortStatus& lastStatus() const { return m_keyer.lastStatus(); }
    std::string name() const { return m_keyer.line().name(); }
    KeyingLine& line() { return m_keyer.line(); }

private:
    static std::unique_ptr<PttLine> withPolarity(std::unique_ptr<PttLine> line,
                                                 std::function<bool()> inverted) {
        line->setInverted(std::move(inverted));
        return line;
    }
    Keyer m_keyer;
};

} // namespace tarvex::test
