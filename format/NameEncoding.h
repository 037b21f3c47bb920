// The code of the names a set and Install.log carry. A set's names are
// Windows-1252 unless its archive header's format field carries the
// ArchiveNamesUtf8 flag, which says they are UTF-8 (names of any script;
// earlier releases refuse such a set as "Wrong version sources!"). Install.log
// keeps a name in Windows-1252 whenever it has the characters, so earlier
// uninstallers read it, and marks a record whose names are UTF-8 by its
// `continued` field, which the log does not otherwise use. Whoever turns a
// name into a path converts it to the code page of its own process (UTF-8
// where the program declares it, the system's ANSI code page otherwise);
// the conversion to that code page is the caller's, so these rules stay
// portable. On Windows, Setup.h brings <windows.h> with the record's FILETIME.
#ifndef SETUP_FORMAT_NAME_ENCODING_H
#define SETUP_FORMAT_NAME_ENCODING_H

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "Setup.h"

// The flag of the archive header's formatVersion: names are UTF-8.
const int32_t ArchiveNamesUtf8 = 0x10000;

// The formatVersion a packer writes, and whether a read one is known (1,
// with or without the flag) and says UTF-8.
int32_t archiveFormat(bool namesUtf8);
bool archiveFormatKnown(int32_t formatVersion);
bool archiveNamesUtf8(int32_t formatVersion);

// An Install.log record with UTF-8 names has this `continued` ("UTF8").
const uint32_t kLogNamesUtf8 = 0x38465455;

// Text of one code to code points. decodeUtf8 is strict: false for a broken
// sequence, an overlong form (0xC0 0xAF for '/' would slip past the name
// checks), a surrogate or a value above U+10FFFF. decode1252 maps every byte,
// the five unassigned ones to the C1 control of their value, as Windows does.
bool decodeUtf8(const std::string& text, std::u32string* out);
std::u32string decode1252(const std::string& text);

std::string encodeUtf8(const std::u32string& text);
// False, with the first character the code page lacks in `missing`, when
// one has no Windows-1252 byte.
bool encode1252(const std::u32string& text, std::string* out, char32_t* missing);

// UTF-16, what Windows' wide calls take; characters above U+FFFF as pairs.
std::u16string toUtf16(const std::u32string& text);

// The character Windows compares in place of `c` when it looks a name up
// without case: Latin, Greek and Cyrillic small letters to capitals (the
// Windows-1252 ones as foldNameByte folds them), others unchanged.
char32_t foldCodePoint(char32_t c);

// The record Install.log keeps for an installed record of a set whose names
// are UTF-8 (`namesUtf8`) or Windows-1252: the names in Windows-1252 when
// both have the characters, else in UTF-8 with `continued` kLogNamesUtf8.
// A Windows-1252 set's record is kept as it is, byte for byte.
tagCompressFileHeader logRecordOf(const tagCompressFileHeader& record, bool namesUtf8);

// The record's names are UTF-8 by the log's mark.
bool logNamesUtf8(const tagCompressFileHeader& record);

// Turns a name into the text of the process's code page: false when a
// character has no form there. The glue passes the system's conversion.
typedef bool (*LocalEncoder)(const std::u16string& text, std::string* out);

// What becomes of a record's names in the process's code page.
enum class LocalNames {
    Same,          // nothing to convert: the stored bytes are the local text
    Converted,     // `local` holds the converted names
    Unrepresentable, // a character has no form in the code page: `shown` names the path
    Invalid        // names flagged UTF-8 that are not
};

// The record `stored` (names UTF-8 when `namesUtf8`, else Windows-1252) with
// its names in the process's code page, whose encoder is `encode`;
// `localIs1252` says the code page is Windows-1252 itself (nothing to do for
// a Windows-1252 set). Names of ASCII alone are the same in every code page.
// On Unrepresentable, `shown` is subDir\fileName in the process's code page
// with every character it lacks written <U+XXXX>, for a message.
LocalNames localRecordNames(const tagCompressFileHeader& stored, bool namesUtf8, LocalEncoder encode,
                            bool localIs1252, tagCompressFileHeader* local, std::string* shown);

// Every record of an Install.log (`size` bytes, whole records only) with its
// names in the process's code page, in place: a text field that changes gets
// its new text zero-padded, so the record of a file and the record of its
// temporary name, which share their bytes up to fileName, still do. Records
// whose names cannot be converted are left as they are (their files are not
// found, and so reported). Returns how many were left so.
size_t localizeLogNames(unsigned char* log, size_t size, LocalEncoder encode, bool localIs1252);

#endif
