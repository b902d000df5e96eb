// Identifiers travel in 32-bit signed record fields: one that does not fit
// is never handed out or taken in, as it would come back as another.
#pragma once

#include "Status.h"

#include <climits>
#include <cstdint>
#include <string>

namespace kovadel {

inline constexpr int64_t kLargestIdentifier = INT32_MAX;

inline bool fitsRecord(int64_t identifier) { return identifier >= INT32_MIN && identifier <= kLargestIdentifier; }

inline int32_t toInt32(int64_t value) { return static_cast<int32_t>(value); }

// The failure for an identifier that a record cannot hold; `what` names it.
inline Status beyondRecord(const std::string& what, int64_t value)
{
    return Status::failure(what + " " + std::to_string(value) + " is past " + std::to_string(kLargestIdentifier)
        + ", the largest identifier a record can hold");
}

// The failure for a topic that would be numbered past what a record holds.
inline Status noRoomForTopic(int64_t nextTopicId)
{
    return Status::failure("no topic can be stored: the next topic identifier would be " + std::to_string(nextTopicId)
        + ", past " + std::to_string(kLargestIdentifier) + ", the largest a topic record can hold");
}

} // namespace kovadel
