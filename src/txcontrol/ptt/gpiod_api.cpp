// GpiodApi on libgpiod 1.6.
#include "txcontrol/ptt/gpiod_ptt.h"

#include <gpiod.h>

#include <cerrno>

namespace tarvex {
namespace {

class RealGpiod : public GpiodApi {
public:
    ~RealGpiod() override { close(); }

    int openChip(const std::string& chip) override {
        close();
        m_chip = gpiod_chip_open_lookup(chip.c_str());
        return m_chip ? 0 : -(errno ? errno : ENOENT);
    }
    int requestOutput(unsigned offset, const char* consumer, int value) override {
        if (!m_chip)
            return -EBADF;
        gpiod_line* line = gpiod_chip_get_line(m_chip, offset);
        if (!line)
            return -(errno ? errno : EINVAL);
        if (gpiod_line_request_output(line, consumer, value) != 0)
            return -(errno ? errno : EBUSY);
        m_line = line;
        return 0;
    }
    int setValue(int value) override {
        if (!m_line)
            return -EBADF;
        return gpiod_line_set_value(m_line, value) == 0 ? 0 : -(errno ? errno : EIO);
    }
    void close() override {
        if (m_line)
            gpiod_line_release(m_line);
        m_line = nullptr;
        if (m_chip)
            gpiod_chip_close(m_chip);
        m_chip = nullptr;
    }

private:
    gpiod_chip* m_chip = nullptr;
    gpiod_line* m_line = nullptr;
};

} // namespace

std::unique_ptr<GpiodApi> GpiodApi::create() {
    return std::make_unique<RealGpiod>();
}

} // namespace tarvex
