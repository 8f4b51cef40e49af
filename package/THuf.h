// Compresses or decompresses one file into another with the LZSS coder
// (Lzss.h): the file layer over the codec. The whole job runs in the
// constructor; Executar() tells whether it succeeded.
#pragma once

class THuf {
public:
    // The message of a source or target that cannot be opened: the class's
    // own name, as the codec has always said it.
    static constexpr char kCannotOpen[] = "THuf";

    // ---- Ending form, as the codec fixes it --------------------------------

    // Mode 1 compresses source into target; any other value decompresses.
    // A source or target that cannot be opened ends the program with the
    // message kCannotOpen. Compressing prints the coder's progress and
    // summary lines on standard output.
    THuf(const char* source, const char* target, int Mode);
    ~THuf() = default;
    THuf(const THuf&) = delete;
    THuf& operator=(const THuf&) = delete;

    // 1 when the target is complete, 0 when a read or write failed.
    int Executar() const { return ok ? 1 : 0; }

private:
    bool ok = false;
};
