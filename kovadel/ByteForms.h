// Reading and writing single fields of the records' byte forms.
//
// 32-bit fields are little-endian and may sit at any address. Text fields
// have a fixed width: ANSI bytes in the single form, UTF-16LE code units in
// the element form. Inside the library text is UTF-8, the database's own
// encoding, so that SQLite takes it as it is; the conversions are those of
// encoding/. Text read from a record has blanks and NULs trimmed from both
// ends; text written into a record is cut or blank-padded to the width.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kovadel {

int32_t getInt32(const unsigned char* record, size_t offset);
void putInt32(unsigned char* record, size_t offset, int32_t value);

// Single form: `width` ANSI bytes.
std::string getAnsiText(const unsigned char* record, size_t offset, size_t width);
// The same written over `out`, whose room is kept.
void getAnsiText(const unsigned char* record, size_t offset, size_t width, std::string& out);
void putAnsiText(unsigned char* record, size_t offset, size_t width, std::string_view utf8);

// Element form: `width` UTF-16LE code units.
std::string getUtf16Text(const unsigned char* element, size_t offset, size_t width);
void putUtf16Text(unsigned char* element, size_t offset, size_t width, std::string_view utf8);

// StatusText1 of a CallStatus: the reason (UTF-8) in ANSI, blank-padded;
// blank when `reason` is empty. Other fields are left alone. `status` may be
// NULL.
void putStatusText(void* status, std::string_view reason);

} // namespace kovadel
