#include "TextFile.h"

#include "Gb18030Decoder.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <vector>

namespace library {

namespace {

constexpr std::size_t kChunkBytes = 1 << 16;

// Checks UTF-8 across chunk boundaries: the state carries how many
// continuation bytes are still owed and what range the next one must lie in
// (so overlong forms and surrogates are refused).
class CUtf8Check {
public:
    bool Feed(const unsigned char* p, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            // Plain ASCII, the bulk of a library, is passed eight bytes at a time.
            while (m_nOwed == 0 && i + 8 <= n) {
                std::uint64_t nWord;
                std::memcpy(&nWord, p + i, sizeof nWord);
                if (nWord & 0x8080808080808080ULL)
                    break;
                i += 8;
            }
            if (i >= n)
                break;
            const unsigned char c = p[i];
            if (m_nOwed == 0) {
                if (c < 0x80)
                    continue;
                if (c >= 0xC2 && c <= 0xDF) {
                    Expect(1, 0x80, 0xBF);
                } else if (c == 0xE0) {
                    Expect(2, 0xA0, 0xBF);
                } else if ((c >= 0xE1 && c <= 0xEC) || c == 0xEE || c == 0xEF) {
                    Expect(2, 0x80, 0xBF);
                } else if (c == 0xED) {
                    Expect(2, 0x80, 0x9F);
                } else if (c == 0xF0) {
                    Expect(3, 0x90, 0xBF);
                } else if (c >= 0xF1 && c <= 0xF3) {
                    Expect(3, 0x80, 0xBF);
                } else if (c == 0xF4) {
                    Expect(3, 0x80, 0x8F);
                } else {
                    return false;
                }
            } else {
                if (c < m_nLow || c > m_nHigh)
                    return false;
                --m_nOwed;
                m_nLow = 0x80;
                m_nHigh = 0xBF;
            }
        }
        return true;
    }
    bool Complete() const { return m_nOwed == 0; }

private:
    void Expect(int nOwed, unsigned char nLow, unsigned char nHigh) {
        m_nOwed = nOwed;
        m_nLow = nLow;
        m_nHigh = nHigh;
    }
    int m_nOwed = 0;
    unsigned char m_nLow = 0x80, m_nHigh = 0xBF;
};

} // namespace

CTextFile::CTextFile() = default;

CTextFile::~CTextFile() {
    if (m_pFile)
        std::fclose(m_pFile);
}

bool CTextFile::Report(std::uint64_t nDone) {
    if (m_progress && !m_progress(nDone, m_nSize * m_nPasses)) {
        m_bCancelled = true;
        m_strError = "导入已取消。";
        return false;
    }
    return true;
}

bool CTextFile::Open(const std::string& strPath, ProgressFn progress) {
    m_progress = std::move(progress);
    m_pFile = std::fopen(strPath.c_str(), "rb");
    if (!m_pFile) {
        m_strError = "无法打开文件" + strPath + "：" + std::strerror(errno);
        return false;
    }
    struct stat status {};
    if (fstat(fileno(m_pFile), &status) == 0)
        m_nSize = static_cast<std::uint64_t>(status.st_size);
    if (S_ISDIR(status.st_mode)) {
        m_strError = strPath + "是一个文件夹，不是文件。";
        return false;
    }

    unsigned char mark[4] = {};
    const std::size_t nMark = std::fread(mark, 1, sizeof mark, m_pFile);
    if ((nMark >= 2 && mark[0] == 0xFF && mark[1] == 0xFE) ||
        (nMark >= 2 && mark[0] == 0xFE && mark[1] == 0xFF)) {
        m_strError = "不支持UTF-16编码的文件，请另存为UTF-8或GBK编码的CSV文件。";
        return false;
    }
    if (nMark >= 3 && mark[0] == 0xEF && mark[1] == 0xBB && mark[2] == 0xBF) {
        m_nSkip = 3;
        m_nPasses = 1;
    } else if (nMark == 4 && mark[0] == 0x84 && mark[1] == 0x31 && mark[2] == 0x95 && mark[3] == 0x33) {
        m_nSkip = 4;
        m_nPasses = 1;
        m_eEncoding = EEncoding::Gb18030;
    } else if (!Classify()) {
        return false;
    }
    if (m_eEncoding == EEncoding::Gb18030) {
        m_pDecoder = std::make_unique<CGb18030Decoder>();
        if (!m_pDecoder->IsReady()) {
            m_strError = "系统不支持GB18030编码转换。";
            return false;
        }
    }
    if (std::fseek(m_pFile, static_cast<long>(m_nSkip), SEEK_SET) != 0) {
        m_strError = std::string("读取文件出错：") + std::strerror(errno);
        return false;
    }
    m_nRead = m_nSkip;
    return true;
}

bool CTextFile::Classify() {
    std::rewind(m_pFile);
    CUtf8Check check;
    std::vector<unsigned char> buffer(kChunkBytes);
    std::uint64_t nDone = 0;
    bool bUtf8 = true;
    while (bUtf8) {
        const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), m_pFile);
        if (n == 0)
            break;
        bUtf8 = check.Feed(buffer.data(), n);
        nDone += n;
        if (!Report(nDone))
            return false;
    }
    if (std::ferror(m_pFile)) {
        m_strError = std::string("读取文件出错：") + std::strerror(errno);
        return false;
    }
    if (!bUtf8 || !check.Complete())
        m_eEncoding = EEncoding::Gb18030;
    // The reading pass counts from where the classifying pass would have ended.
    if (!bUtf8)
        Report(m_nSize);
    return !m_bCancelled;
}

bool CTextFile::Read(std::string& strChunk) {
    strChunk.clear();
    if (!m_pFile || !m_strError.empty())
        return false;
    std::string raw(kChunkBytes, '\0');
    const std::size_t n = std::fread(raw.data(), 1, raw.size(), m_pFile);
    if (n == 0) {
        if (std::ferror(m_pFile)) {
            m_strError = std::string("读取文件出错：") + std::strerror(errno);
            return false;
        }
        if (!m_strPending.empty()) {
            m_strError = "文件在一个汉字的中间结束，文件不完整。";
            return false;
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
        m_strError = "文件编码无法识别（第" + std::to_string(nPendingStart + nBad + 1) +
                     "个字节），请另存为UTF-8或GBK编码的CSV文件。";
        strChunk.clear();
        return false;
    }
    return true;
}

} // namespace library
