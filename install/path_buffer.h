// One composed path, in a buffer from the free store that is freed with it.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>

class PathBuffer {
public:
    static const size_t kcbSize = 65536;

    PathBuffer() : m_psz(static_cast<char *>(std::malloc(kcbSize)))
    {
        if (m_psz)
            m_psz[0] = '\0';
    }
    ~PathBuffer() { std::free(m_psz); }
    PathBuffer(const PathBuffer &) = delete;
    PathBuffer &operator=(const PathBuffer &) = delete;

    bool Ok() const { return m_psz != nullptr; }
    const char *Get() const { return m_psz; }

    // False when there is no buffer or the path would not fit; the buffer
    // then holds the empty string, never a truncated path.
    bool Format(const char *pszFormat, ...) __attribute__((format(printf, 2, 3)))
    {
        if (!m_psz)
            return false;
        va_list args;
        va_start(args, pszFormat);
        int cch = vsnprintf(m_psz, kcbSize, pszFormat, args);
        va_end(args);
        if (cch < 0 || static_cast<size_t>(cch) >= kcbSize) {
            m_psz[0] = '\0';
            return false;
        }
        return true;
    }

private:
    char *m_psz;
};
