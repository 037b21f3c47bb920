// ReadAhead: the open volume read in large blocks for the length of one
// install run, so that the decompressor's 2,048-byte requests and the
// 564-byte records are served from memory instead of one ReadFile each.
//
// Where the block lives: Reader's data members are fixed by the exported
// class layout, so the block cannot be a member. It is owned by whoever runs
// the install (the engine's run holds one for the length of
// MakeSetupFileOperation's file loop) and registered for the running thread
// and that one Reader; the
// reader's volume reads and skips on that thread go through it, everything
// else reads the volume directly as before. When the run ends the bytes read
// ahead and not used are given back (the file pointer moves back over them),
// so outside a run the volume stands exactly where an unbuffered reader
// would have left it, and nothing is held after the run. A read error is
// met when the block that holds it is read, a little before the byte itself
// would be, and reported the same way (11108). Runs may nest (a
// notification that runs another object's install): the innermost is active,
// and each object sees only its own block.
#ifndef SETUP_READER_READ_AHEAD_H
#define SETUP_READER_READ_AHEAD_H

#include <memory>

#include "Setup.h"
#include "common/ThreadScoped.h"

class ReadAhead : public ThreadScoped<ReadAhead> {
public:
    // Bytes read from the volume at a time; a request at least this large is
    // read directly into the caller's buffer.
    static const unsigned int kBlockSize = 64 * 1024;

    // Starts reading ahead for `reader` on this thread. Without memory for
    // the block the reader simply reads directly.
    explicit ReadAhead(Reader& reader);
    // Gives back the unused bytes and stops.
    ~ReadAhead();

    // The read-ahead active for `reader` on this thread, or null.
    static ReadAhead* of(const Reader& reader);

    // Forgets the block without giving anything back: the volume it was read
    // from is being closed.
    void drop();

    Reader& reader;
    std::unique_ptr<unsigned char[]> block;
    HANDLE file = INVALID_HANDLE_VALUE;  // the volume the block was read from
    unsigned int position = 0;           // next unused byte
    unsigned int end = 0;                // bytes in the block
};

#endif
