#pragma once
// A parallel-port writer for tests: records every write in order and succeeds, or fails on
// request.
#include "txcontrol/port_writer.h"

#include <cstdint>
#include <vector>

namespace tarvex {

class RecordingPortWriter : public PortWriter {
public:
    struct Write {
        uint16_t port;
        uint8_t value;
        bool operator==(const Write&) const = default;
    };

    bool writeByte(uint16_t port, uint8_t value) override {
        m_writes.push_back({port, value});
        if (m_failWith != 0)
            return fail(m_failWith, "recording port: simulated failure");
        return succeed();
    }

    const std::vector<Write>& writes() const { return m_writes; }
    std::vector<uint8_t> values() const {
        std::vector<uint8_t> out;
        for (const auto& w : m_writes)
            out.push_back(w.value);
        return out;
    }
    void clear() { m_writes.clear(); }
    /// Makes later writes fail with this error number (0: succeed again).
    void failWith(int errorCode) { m_failWith = errorCode; }

private:
    std::vector<Write> m_writes;
    int m_failWith = 0;
};

} // namespace tarvex
