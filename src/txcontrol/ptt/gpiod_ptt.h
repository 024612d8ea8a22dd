#pragma once
// Push-to-talk on a GPIO chip line (a Raspberry Pi's header, any /dev/gpiochipN) through
// libgpiod: the line is requested as an output at the released level and set from then on.
// The library calls sit behind GpiodApi so that tests check them without a GPIO chip.
#include "txcontrol/ptt/ptt_line.h"

#include <memory>
#include <string>

namespace tarvex {

/// The libgpiod calls one output line needs. Results: 0 or -errno.
class GpiodApi {
public:
    virtual ~GpiodApi() = default;
    /// gpiod_chip_open_lookup: "gpiochip0", "0", "/dev/gpiochip0" or the chip's label.
    virtual int openChip(const std::string& chip) = 0;
    /// gpiod_chip_get_line, then gpiod_line_request_output with the first value.
    virtual int requestOutput(unsigned offset, const char* consumer, int value) = 0;
    virtual int setValue(int value) = 0;
    /// Releases the line (it keeps its last value) and closes the chip; harmless when
    /// nothing is open.
    virtual void close() = 0;

    static std::unique_ptr<GpiodApi> create();
};

class GpiodPtt : public PttLine {
public:
    GpiodPtt(std::string chip, unsigned line, std::unique_ptr<GpiodApi> api = GpiodApi::create());
    ~GpiodPtt() override;
    GpiodPtt(const GpiodPtt&) = delete;
    GpiodPtt& operator=(const GpiodPtt&) = delete;

    bool isOpen() const override { return m_open; }
    std::string name() const override;

protected:
    /// The first value goes with the request itself, so the line never shows the other
    /// level on the way.
    bool openAt(bool asserted) override;
    bool drive(bool asserted) override;
    void shut() override;

private:
    std::string m_chip;
    unsigned m_line;
    std::unique_ptr<GpiodApi> m_api;
    bool m_open = false;
};

} // namespace tarvex
