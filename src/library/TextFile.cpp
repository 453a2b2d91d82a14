#include "TextFile.h"

#include "FileSystem.h"
#include "Gb18030Decoder.h"
#include "Utf8Check.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <vector>

namespace library {

namespace {

constexpr std::size_t kChunkBytes = 1 << 16;

} // namespace

CTextFile::CTextFile() = default;

CTextFile::~CTextFile() {
    if (m_pFile)
        std::fclose(m_pFile);
}

bool CTextFile::Fail(ELibraryError eCode, const std::string& strPath, const base::SFileError& system) {
    m_error = SLibraryError{eCode, strPath, {}, 0, system};
    return false;
}

bool CTextFile::Report(std::uint64_t nDone) {
    if (m_progress && !m_progress(nDone, m_nSize * m_nPasses)) {
        m_bCancelled = true;
        return Fail(ELibraryError::Cancelled);
    }
    return true;
}

bool CTextFile::Open(const std::string& strPath, ProgressFn progress, std::optional<EEncoding> forced) {
    m_progress = std::move(progress);
    const std::filesystem::path path = base::PathFromUtf8(strPath);
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        return Fail(ELibraryError::SourceIsFolder, strPath);
    }
    m_pFile = base::OpenFile(path, "rb");
    if (!m_pFile) {
        return Fail(ELibraryError::CannotOpenSource, strPath, base::LastFileError());
    }
    const std::uintmax_t nSize = std::filesystem::file_size(path, error);
    m_nSize = error ? 0 : static_cast<std::uint64_t>(nSize);

    unsigned char mark[4] = {};
    const std::size_t nMark = std::fread(mark, 1, sizeof mark, m_pFile);
    if ((nMark >= 2 && mark[0] == 0xFF && mark[1] == 0xFE) ||
        (nMark >= 2 && mark[0] == 0xFE && mark[1] == 0xFF)) {
        return Fail(ELibraryError::Utf16);
    }
    const bool bUtf8Mark = nMark >= 3 && mark[0] == 0xEF && mark[1] == 0xBB && mark[2] == 0xBF;
    const bool bGbMark =
        nMark == 4 && mark[0] == 0x84 && mark[1] == 0x31 && mark[2] == 0x95 && mark[3] == 0x33;
    m_nSkip = bUtf8Mark ? 3 : bGbMark ? 4 : 0;
    if (forced) {
        // The installer's choice wins over the mark and over the guess.
        m_nPasses = 1;
        m_eEncoding = *forced;
    } else if (bUtf8Mark || bGbMark) {
        m_nPasses = 1;
        m_eEncoding = bUtf8Mark ? EEncoding::Utf8 : EEncoding::Gb18030;
    } else if (!Classify()) {
        return false;
    } else {
        m_bGuessed = true;
    }
    if (m_eEncoding == EEncoding::Gb18030) {
        m_pDecoder = std::make_unique<CGb18030Decoder>();
        if (!m_pDecoder->IsReady()) {
            return Fail(ELibraryError::NoGb18030);
        }
    }
    if (std::fseek(m_pFile, static_cast<long>(m_nSkip), SEEK_SET) != 0) {
        return Fail(ELibraryError::ReadFailed, {}, base::LastFileError());
    }
    m_nRead = m_nSkip;
    return true;
}

bool CTextFile::Classify() {
    std::rewind(m_pFile);
    // Both readings are followed to the end: a file that is not UTF-8 is
    // GB18030; one that is UTF-8 may still be GBK whose byte pairs happen to
    // form UTF-8 (校 is D0 A3 in GBK, which is the Cyrillic У in UTF-8). Then
    // the reading with fewer characters foreign to Chinese text wins, UTF-8
    // on a tie, so real UTF-8 Chinese text is never taken for GBK.
    CUtf8Check check;
    CGb18030Decoder decoder;
    bool bGbValid = decoder.IsReady();
    std::uint64_t nGbForeign = 0;
    std::string strGbPending, strGbText;
    std::vector<unsigned char> buffer(kChunkBytes);
    std::uint64_t nDone = 0;
    for (;;) {
        const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), m_pFile);
        if (n == 0)
            break;
        const bool bUtf8 = check.Feed(buffer.data(), n);
        if (bUtf8 && bGbValid) {
            const bool bAscii = strGbPending.empty() &&
                                std::all_of(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n),
                                            [](unsigned char c) { return c < 0x80; });
            if (!bAscii) {
                strGbPending.append(reinterpret_cast<const char*>(buffer.data()), n);
                strGbText.clear();
                std::size_t nBad = 0;
                bGbValid = decoder.Decode(strGbPending, strGbText, nBad);
                CUtf8Check gbCheck;
                gbCheck.Feed(reinterpret_cast<const unsigned char*>(strGbText.data()), strGbText.size());
                nGbForeign += gbCheck.ForeignCount();
            }
        }
        nDone += n;
        if (!Report(nDone))
            return false;
        if (!bUtf8)
            break;
    }
    if (std::ferror(m_pFile)) {
        return Fail(ELibraryError::ReadFailed, {}, base::LastFileError());
    }
    const bool bUtf8 = check.Complete();
    bGbValid = bGbValid && strGbPending.empty();
    if (!bUtf8 || (bGbValid && nGbForeign < check.ForeignCount()))
        m_eEncoding = EEncoding::Gb18030;
    // The reading pass counts from where the classifying pass would have ended.
    if (nDone < m_nSize)
        Report(m_nSize);
    return !m_bCancelled;
}

bool CTextFile::Read(std::string& strChunk) {
    strChunk.clear();
    if (!m_pFile || m_error.Failed())
        return false;
    std::string raw(kChunkBytes, '\0');
    const std::size_t n = std::fread(raw.data(), 1, raw.size(), m_pFile);
    if (n == 0) {
        if (std::ferror(m_pFile)) {
            return Fail(ELibraryError::ReadFailed, {}, base::LastFileError());
        }
        if (!m_strPending.empty()) {
            return Fail(ELibraryError::CutInCharacter);
        }
        return false;
    }
    raw.resize(n);
    m_nRead += n;
    if (!Report(m_nSize * (m_nPasses - 1) + m_nRead))
        return false;
    if (m_eEncoding == EEncoding::Utf8) {
        strChunk = std::move(raw);
        return true;
    }
    m_strPending += raw;
    return Convert(strChunk);
}

bool CTextFile::Convert(std::string& strChunk) {
    std::size_t nBad = 0;
    const std::uint64_t nPendingStart = m_nRead - m_strPending.size();
    if (!m_pDecoder->Decode(m_strPending, strChunk, nBad)) {
        strChunk.clear();
        Fail(ELibraryError::UnknownEncoding);
        m_error.nNumber = nPendingStart + nBad + 1;
        return false;
    }
    return true;
}

} // namespace library
