#pragma once

#include "LibraryError.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>

// Reports how far a long job has come; returning false asks it to stop.
using ProgressFn = std::function<bool(std::uint64_t nDone, std::uint64_t nTotal)>;

namespace library {

class CGb18030Decoder;

enum class EEncoding { Utf8, Gb18030 };

// A text file read as UTF-8 in chunks, whatever it was written in: UTF-8
// with or without a byte-order mark, or GB18030 (which covers GBK, what a
// Chinese spreadsheet program writes). The encoding is decided before the
// first chunk from the mark or, without one, by reading the file both ways
// (see Classify); the file is never held whole in memory.
class CTextFile {
public:
    CTextFile();
    ~CTextFile();
    CTextFile(const CTextFile&) = delete;
    CTextFile& operator=(const CTextFile&) = delete;

    // Opens and classifies the file; a forced encoding is taken as it is
    // (a byte-order mark is still dropped). On failure returns false and
    // Error() says why. The progress callback sees the classifying pass and
    // the reading pass as one job of twice the file's size.
    bool Open(const std::string& strPath, ProgressFn progress = {}, std::optional<EEncoding> forced = {});
    // The next piece of text, converted to UTF-8; false at the end or on an
    // error (then Error() is set).
    bool Read(std::string& strChunk);

    EEncoding Encoding() const { return m_eEncoding; }
    // The encoding was guessed from the text (no mark, no forced choice).
    bool Guessed() const { return m_bGuessed; }
    std::uint64_t Size() const { return m_nSize; }
    const SLibraryError& Error() const { return m_error; }
    bool Cancelled() const { return m_bCancelled; }

private:
    bool Report(std::uint64_t nDone);
    bool Classify();
    bool Convert(std::string& strChunk);
    bool Fail(ELibraryError eCode, const std::string& strPath = {}, const base::SFileError& system = {});

    std::FILE* m_pFile = nullptr;
    std::unique_ptr<CGb18030Decoder> m_pDecoder; // while reading GB18030
    ProgressFn m_progress;
    EEncoding m_eEncoding = EEncoding::Utf8;
    std::uint64_t m_nSize = 0;
    std::uint64_t m_nRead = 0;   // bytes read in the reading pass
    std::uint64_t m_nSkip = 0;   // byte-order mark to drop
    std::uint64_t m_nPasses = 2; // the classifying pass is skipped when a mark decides
    std::string m_strPending;    // the start of a character cut by a chunk boundary
    SLibraryError m_error;
    bool m_bCancelled = false;
    bool m_bGuessed = false;
};

} // namespace library
