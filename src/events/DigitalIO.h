#pragma once
// The Canon camera's digital inputs ("i.N" items) and outputs ("o.N" control
// parameters), each direction through its own HTTP sender.
#include <cstdint>

#include "events/IOBase.h"
#include "runtime/HttpSender.h"

namespace korvane {

class CDigitalIO : public CIOBase {
public:
    explicit CDigitalIO(IDriver* driver);
    ~CDigitalIO() override;

protected:
    bool WriteOutput(uint32_t index, uint32_t state) override;
    bool ReadInputs(uint32_t count) override;
    void AbortRequests() override;

private:
    Web::CHttpSender m_outputSender;
    Web::CHttpSender m_inputSender;
};

}  // namespace korvane
