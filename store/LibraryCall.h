// One call into the data-access library in its byte forms: the status form
// kept between calls, a call with one record, a call whose only record is
// the status. The binding (store/KovadelLibrary.cpp) makes every call
// through these.
#pragma once

#include "store/ByteForms.h"

#include <cstdint>

using RecordFunction = int32_t (*)(void*, void*);

// The single form of the status that the handlers pass with every call. A
// handler's status rarely changes between calls (the library leaves it blank
// on success), so the form of the last one is kept and reused.
class StatusForm {
public:
    CallStatusSingle encode(const CallStatus& status)
    {
        if (!m_valid || !(status == m_status)) {
            m_bytes = toSingle(status);
            m_status = status;
            m_valid = true;
        }
        return m_bytes;
    }
    // Takes the returned form back into `status`, unless it came back unchanged.
    void takeBack(const CallStatusSingle& returned, CallStatus& status)
    {
        if (returned != m_bytes) {
            fromSingle(returned, status);
            m_bytes = returned;
            m_status = status;
        }
    }

private:
    CallStatus m_status;
    CallStatusSingle m_bytes {};
    bool m_valid = false;
};

// One record by itself: single form out, the same buffer back in. Every field
// of the record and of the status is in-out; a form that comes back unchanged
// needs no converting back.
template <typename Record>
int32_t callWithRecord(StatusForm& form, RecordFunction function, Record& record, CallStatus& status)
{
    const auto recordSent = toSingle(record);
    auto recordBytes = recordSent;
    auto statusBytes = form.encode(status);
    const int32_t result = function(recordBytes.data(), statusBytes.data());
    if (recordBytes != recordSent)
        fromSingle(recordBytes, record);
    form.takeBack(statusBytes, status);
    return result;
}

// A call whose only record is the status.
template <typename Function, typename... Args>
int32_t callWithStatus(StatusForm& form, Function function, CallStatus& status, Args... args)
{
    auto statusBytes = form.encode(status);
    const int32_t result = function(args..., statusBytes.data());
    form.takeBack(statusBytes, status);
    return result;
}
