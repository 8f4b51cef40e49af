#include "ReferenceLzss.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace reference {

namespace {

constexpr int N = 4096;
constexpr int F = 18;
constexpr int THRESHOLD = 2;
constexpr int NIL = N;

// The coder's state: one set for the process, as in the original formulation.
unsigned char text_buf[N + F - 1];
int match_position;
int match_length;
int lson[N + 1];
int rson[N + 257];
int dad[N + 1];

// Byte-at-a-time buffered streams, as the original works on files.
FILE* infile;
FILE* outfile;

int GetByte()
{
    return getc(infile);
}

void PutByte(int c)
{
    putc(c, outfile);
}

// Runs `code` with infile reading `input` and returns what it wrote to outfile.
template <typename Code>
std::vector<uint8_t> WithStreams(const std::vector<uint8_t>& input, Code code)
{
    static const uint8_t kNothing = 0;
    infile = fmemopen(const_cast<uint8_t*>(input.empty() ? &kNothing : input.data()), input.empty() ? 1 : input.size(),
                      "rb");
    char* data = nullptr;
    size_t size = 0;
    outfile = open_memstream(&data, &size);
    if (input.empty())
        getc(infile);  // an empty buffer: make the stream report its end at once
    code();
    fclose(outfile);
    fclose(infile);
    std::vector<uint8_t> output(data, data + size);
    free(data);
    return output;
}

void InitTree()
{
    for (int i = N + 1; i <= N + 256; i++)
        rson[i] = NIL;
    for (int i = 0; i < N; i++)
        dad[i] = NIL;
}

void InsertNode(int r)
{
    int i = 0;
    int p;
    int cmp = 1;
    unsigned char* key = &text_buf[r];
    p = N + 1 + key[0];
    rson[r] = lson[r] = NIL;
    match_length = 0;
    for (;;) {
        if (cmp >= 0) {
            if (rson[p] != NIL) {
                p = rson[p];
            } else {
                rson[p] = r;
                dad[r] = p;
                return;
            }
        } else {
            if (lson[p] != NIL) {
                p = lson[p];
            } else {
                lson[p] = r;
                dad[r] = p;
                return;
            }
        }
        for (i = 1; i < F; i++)
            if ((cmp = key[i] - text_buf[p + i]) != 0)
                break;
        if (i > match_length) {
            match_position = p;
            if ((match_length = i) >= F)
                break;
        }
    }
    dad[r] = dad[p];
    lson[r] = lson[p];
    rson[r] = rson[p];
    dad[lson[p]] = r;
    dad[rson[p]] = r;
    if (rson[dad[p]] == p)
        rson[dad[p]] = r;
    else
        lson[dad[p]] = r;
    dad[p] = NIL;
}

void DeleteNode(int p)
{
    int q;
    if (dad[p] == NIL)
        return;
    if (rson[p] == NIL) {
        q = lson[p];
    } else if (lson[p] == NIL) {
        q = rson[p];
    } else {
        q = lson[p];
        if (rson[q] != NIL) {
            do {
                q = rson[q];
            } while (rson[q] != NIL);
            rson[dad[q]] = lson[q];
            dad[lson[q]] = dad[q];
            lson[q] = lson[p];
            dad[lson[p]] = q;
        }
        rson[q] = rson[p];
        dad[rson[p]] = q;
    }
    dad[q] = dad[p];
    if (rson[dad[p]] == p)
        rson[dad[p]] = q;
    else
        lson[dad[p]] = q;
    dad[p] = NIL;
}

void EncodeStreams()
{
    // Every run starts from a fresh state.
    std::memset(text_buf, 0, sizeof text_buf);

    int i, c, len, r, s, last_match_length, code_buf_ptr;
    unsigned char code_buf[17], mask;
    InitTree();
    code_buf[0] = 0;
    code_buf_ptr = mask = 1;
    s = 0;
    r = N - F;
    for (i = s; i < r; i++)
        text_buf[i] = ' ';
    for (len = 0; len < F && (c = GetByte()) != -1; len++)
        text_buf[r + len] = static_cast<unsigned char>(c);
    if (len == 0)
        return;
    for (i = 1; i <= F; i++)
        InsertNode(r - i);
    InsertNode(r);
    do {
        if (match_length > len)
            match_length = len;
        if (match_length <= THRESHOLD) {
            match_length = 1;
            code_buf[0] |= mask;
            code_buf[code_buf_ptr++] = text_buf[r];
        } else {
            code_buf[code_buf_ptr++] = static_cast<unsigned char>(match_position);
            code_buf[code_buf_ptr++] = static_cast<unsigned char>(((match_position >> 4) & 0xf0) |
                                                                  (match_length - (THRESHOLD + 1)));
        }
        if ((mask = static_cast<unsigned char>(mask << 1)) == 0) {
            for (i = 0; i < code_buf_ptr; i++)
                PutByte(code_buf[i]);
            code_buf[0] = 0;
            code_buf_ptr = mask = 1;
        }
        last_match_length = match_length;
        for (i = 0; i < last_match_length && (c = GetByte()) != -1; i++) {
            DeleteNode(s);
            text_buf[s] = static_cast<unsigned char>(c);
            if (s < F - 1)
                text_buf[s + N] = static_cast<unsigned char>(c);
            s = (s + 1) & (N - 1);
            r = (r + 1) & (N - 1);
            InsertNode(r);
        }
        while (i++ < last_match_length) {
            DeleteNode(s);
            s = (s + 1) & (N - 1);
            r = (r + 1) & (N - 1);
            if (--len)
                InsertNode(r);
        }
    } while (len > 0);
    if (code_buf_ptr > 1)
        for (i = 0; i < code_buf_ptr; i++)
            PutByte(code_buf[i]);
}

void DecodeStreams()
{
    std::memset(text_buf, 0, sizeof text_buf);

    int i, j, k, r, c;
    unsigned int flags;
    for (i = 0; i < N - F; i++)
        text_buf[i] = ' ';
    r = N - F;
    flags = 0;
    for (;;) {
        if (((flags >>= 1) & 256) == 0) {
            if ((c = GetByte()) == -1)
                break;
            flags = static_cast<unsigned>(c) | 0xff00;
        }
        if (flags & 1) {
            if ((c = GetByte()) == -1)
                break;
            PutByte(c);
            text_buf[r++] = static_cast<unsigned char>(c);
            r &= (N - 1);
        } else {
            if ((i = GetByte()) == -1)
                break;
            if ((j = GetByte()) == -1)
                break;
            i |= ((j & 0xf0) << 4);
            j = (j & 0x0f) + THRESHOLD;
            for (k = 0; k <= j; k++) {
                c = text_buf[(i + k) & (N - 1)];
                PutByte(c);
                text_buf[r++] = static_cast<unsigned char>(c);
                r &= (N - 1);
            }
        }
    }
}

}  // namespace

std::vector<uint8_t> Encode(const std::vector<uint8_t>& input)
{
    return WithStreams(input, EncodeStreams);
}

std::vector<uint8_t> Decode(const std::vector<uint8_t>& input)
{
    return WithStreams(input, DecodeStreams);
}

}  // namespace reference
