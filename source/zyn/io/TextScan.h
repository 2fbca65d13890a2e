// Scanning helpers shared by the text formats (string tables, sprite and font
// text, logo screen configuration). They work on NUL-terminated text already
// in memory and advance the cursor in place; they never move past the
// terminator.
#pragma once

namespace Zyn {

/// Passes whitespace and "#" comments (a comment ends at LF, CR or TAB).
/// True when text remains; false at the terminator.
bool SkipWhiteSpaceAndComments(char const** cursor);
/// Passes characters up to the next space, TAB, LF or CR. True when it stopped
/// on one; false when the text ended first.
bool SkipKeyword(char const** cursor);
/// After a keyword: passes whitespace, comments and the "=" that must follow.
/// False at the end of the text, or (logged as a warning, cursor left on it)
/// on any other character.
bool SkipPart(char const** cursor, char const* keyword);
/// The integer at the cursor (clamped to int); the cursor is then moved past
/// the next delimiter. When no delimiter follows, a warning is logged and the
/// cursor stays on the terminator. A NUL delimiter means "to the end".
int GetInteger(char** cursor, char delimiter);

}  // namespace Zyn
