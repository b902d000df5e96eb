// A database file that the library made: one it created, or an empty file it
// gave the schema. When the connection ends without having stored anything
// in it, the file is put back as it was found: removed, or emptied again.
#pragma once

#include <string>
#include <sys/types.h>

namespace kovadel {

struct MadeFile {
    enum class Origin {
        Existing, // a database already, or made by someone else: left alone
        New, // no file was there
        Empty, // a file of zero bytes was there
    };
    Origin origin = Origin::Existing;
    std::string path;
    dev_t device = 0;
    ino_t inode = 0;
    // The file's bytes once the library had created the schema and written
    // its log back; empty while it holds nothing yet.
    std::string freshBytes;
};

// What the library finds at `path` before it opens it (the path has been
// checked: a regular file, or nothing in an existing folder).
MadeFile::Origin originOf(const std::string& path);

// The bytes of the file at `path`; false when it cannot be read whole.
bool readWhole(const std::string& path, std::string& bytes);

// Called once the connection is closed. Puts the file back only when that is
// safe: it is still the file the library made, nobody has it open (its lock
// bytes can be locked, and it has no -shm or -wal beside it), and it holds
// exactly what the library wrote into it. Anything else leaves it as it is.
void undoMadeFile(const MadeFile& made) noexcept;

} // namespace kovadel
