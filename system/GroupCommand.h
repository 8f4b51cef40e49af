// The text that the program-group client exchanges with the shell's
// "PROGMAN" service: its bracketed commands, formatted into the client's
// fixed command buffer, and the names in the service's "Groups" reply.
// Portable, so that it is tested natively; the conversation itself lives in
// TGrupoAplicativo.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace groupcommand {

// A command is formatted into 256 bytes: 255 characters and the terminator.
constexpr std::size_t kCommandSize = 256;
constexpr std::size_t kMaxCommandLength = kCommandSize - 1;
using CommandBuffer = char[kCommandSize];

// Each writes its command into buffer and returns true when the whole
// command fits in kMaxCommandLength characters. A command that does not fit
// is never cut (a shortened name could name another group): buffer is left
// empty and the result is false. Nothing is ever written beyond the buffer.
// A null name counts as an empty one.
//   "[CreateGroup(nome)]"
bool CreateGroup(CommandBuffer& buffer, const char* nome);
//   "[AddItem(\"arq\", nome)]": arq in double quotes, nome bare, so that a
//   caller may follow the name with further arguments after commas (an icon
//   file and its index).
bool AddItem(CommandBuffer& buffer, const char* arq, const char* nome);
//   "[DeleteGroup(nome)]"
bool DeleteGroup(CommandBuffer& buffer, const char* nome);
//   "[DeleteItem(nome)]"
bool DeleteItem(CommandBuffer& buffer, const char* nome);
//   "[ExitProgman(1)]": the service ends and saves its groups.
bool ExitProgman(CommandBuffer& buffer);

// The names in the first Len bytes of a "Groups" reply, as the options page
// takes them into its list: walking the bytes with j, the start of the
// current name, from 0, at every carriage return at position i that return
// becomes a zero, the zero-terminated text from j is taken, and j becomes
// i + 2 (past the line feed). Text after the last carriage return is not
// taken. The walk never reads beyond Len: a text that would run on past the
// end stops there, and one that would start beyond it is empty. So any
// bytes are safe, with these consequences of the walk kept as they are: a
// carriage return without its line feed costs the next name its first
// character; a zero inside a name ends it; two carriage returns in a row
// give a name starting after the second one that runs to the next zero.
std::vector<std::string> SplitGroups(const char* list, std::size_t Len);

}  // namespace groupcommand
