#pragma once

#include <stdexcept>
#include <string>

// A failure of the data.mdb store: the engine's result code and its own text.
class CDatabaseError : public std::runtime_error {
public:
    CDatabaseError(long nCode, std::string strText)
        : std::runtime_error(strText), m_nCode(nCode), m_strText(std::move(strText)) {}

    long Code() const { return m_nCode; }
    const std::string& Text() const { return m_strText; }

private:
    long m_nCode;
    std::string m_strText;
};
