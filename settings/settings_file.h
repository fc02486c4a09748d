#pragma once
// The settings file: an INI text with the sections RS232, PLC_Info,
// PLC_Memory, Connection and MySQL. Only Save and Load touch it.
//
// Format written: "[Section]" lines and "key=value" lines; integers in
// decimal, booleans "1"/"0", texts as they are. A text with blanks at either
// end, or one that starts and ends with a double quote, is written inside a
// pair of double quotes so that reading gives it back whole. Line breaks inside
// a text would split the line and could forge other keys, so each CR or LF in
// a text is written as a blank.
//
// Reading is tolerant: section and key names match without regard to case,
// blanks around names, '=' and values are ignored, CRLF line ends are
// accepted, the first of duplicate sections or keys counts, lines before the
// first section and lines starting with ';' or '#' are ignored.
#include <string>

#include "settings/settings.h"

namespace tarnlight {

enum class SaveResult { Ok, WriteFailed };

// Writes every key of `settings` into the file at `path`. The keys without a
// control on the pages (mirrorEachValue, sslMode, sslCa, sslCert, sslKey,
// historyDb, historyDays, %I_scan .. %AQ_scan, maxReadBytes, stations when
// not empty) and the [Tags] section as a whole are written only where the
// file lacks them, with the values in `settings`: one that stands in the
// file stays as it is. An existing file
// keeps everything Save does not know (other keys and sections, comments,
// blank lines) and its line ends; a known key is replaced where it stands, a
// missing key is added at the end of its section, a missing section at the end
// of the file. The file holds two passwords in plain text, so it is created
// with mode 0600 and an existing file more open than that is tightened; the
// settings directory is created (0700) when `path` lies directly in it.
// The new text is written to a temporary file beside the target and renamed
// over it, so the old file stays whole if anything fails. On failure returns
// WriteFailed and sets *error (when given) to "Unable to write to <path>".
SaveResult SaveSettings(const Settings& settings, const std::string& path, std::string* error);

enum class LoadResult { Ok, NotFound, Invalid };

// Reads the file at `path` into `settings`. When no readable file exists
// there, returns NotFound and leaves `settings` as it was (an unreadable file
// is treated as missing rather than loading every default). Otherwise every
// key takes its value from the file or, when missing or not a number where a
// number belongs, its default; the control rules (ClampToControls) are then
// applied. Integers are decimal, or hexadecimal after "0x"/"0X"; booleans are
// integers, non-zero meaning true; texts are cut at 2047 characters.
// A value for which no default may stand in returns Invalid, leaves
// `settings` as it was and says in *problem (when given) which key holds
// what: an sslMode that is no mode (a connection the operator asked to be
// encrypted must never silently become a plain one), a scan period,
// maxReadBytes or historyDays that is no whole number in its range, or a
// [Tags] line that is no tag (named with its line number).
LoadResult LoadSettings(const std::string& path, Settings& settings,
                        std::string* problem = nullptr);

// Parses an integer value the way Load does: optional sign and decimal
// digits, or "0x"/"0X" and at least one hexadecimal digit. Returns false for
// anything else, including values outside the range of int.
bool ParseSettingsInteger(const std::string& text, int* value);

}  // namespace tarnlight
