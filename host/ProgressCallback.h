#pragma once

#include <cstdint>
#include <string>

// The host's progress sink. Readers, conversions and downloads report through it and ask it
// whether to stop. Every operation does nothing by default, so a sink overrides only what
// it shows; the class stays abstract through its destructor.
class ProgressCallback {
public:
    virtual ~ProgressCallback() = 0;
    // True asks the caller to stop.
    virtual bool isCancelled() { return false; }
    // Readers pass (10000, 0, 1); downloads and conversions pass (0, count, 1): the two
    // bounds come in either order, the last value is the step size.
    virtual void setRange(unsigned int /*first*/, unsigned int /*second*/, unsigned int /*step*/) {}
    virtual void setPosition(unsigned int /*position*/) {}
    // A text by identifier, completed with two strings.
    virtual void setFormattedText(std::uint32_t /*text_id*/, const std::string& /*first*/, const std::string& /*second*/) {}
    virtual void setTextId(std::uint32_t /*text_id*/) {}
    virtual void setText(const std::string& /*text*/) {}
    virtual void setSubRange(unsigned int /*first*/, unsigned int /*second*/, unsigned int /*step*/) {}
    virtual void step() {}
    virtual void setSubPosition(unsigned int /*position*/) {}
    virtual void subStep() {}
    virtual void setErrorCode(int /*code*/) {}
    virtual int getErrorCode() { return 0; }

    // A fresh identifier for a text the host shows while progress is reported.
    static std::uint32_t addTextId();
};

inline ProgressCallback::~ProgressCallback() = default;

class DummyProgressCallback final : public ProgressCallback {
};

// A do-nothing sink for the constructors offered without one. It has no state, so one per
// thread serves every call.
inline ProgressCallback& noProgress()
{
    thread_local DummyProgressCallback dummy;
    return dummy;
}
