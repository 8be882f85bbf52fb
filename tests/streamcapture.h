/* Test helper: points the current standard output or error stream at a
   fresh unbuffered binary file stream for a scope, and reads back what was
   written there. The files live in the working directory. */
#ifndef ZOLT_TESTS_STREAMCAPTURE_H
#define ZOLT_TESTS_STREAMCAPTURE_H

#include <zolt/stream.h>

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>

/** Reads a whole file as bytes; empty if it cannot be opened. */
inline std::string readFileBytes(const std::string &Path)
{
    std::ifstream File(Path, std::ios::binary);
    std::ostringstream Bytes;
    Bytes << File.rdbuf();
    return Bytes.str();
}

class StreamCapture
{
  public:
    /** @param ppCurrent &g_pStdErr or &g_pStdOut. */
    StreamCapture(PRTSTREAM *ppCurrent, const char *pszName) : m_ppCurrent(ppCurrent), m_Path(pszName)
    {
        m_pOld = *ppCurrent;
        PRTSTREAM pStream = nullptr;
        EXPECT_EQ(RTStreamOpen(m_Path.c_str(), "wb", &pStream), 0) << m_Path;
        if (pStream)
        {
            EXPECT_EQ(RTStreamSetBufferMode(pStream, RTSTRMBUFMODE_UNBUFFERED), 0);
            *ppCurrent = pStream;
        }
    }
    ~StreamCapture()
    {
        *m_ppCurrent = m_pOld;
    }
    StreamCapture(const StreamCapture &) = delete;
    StreamCapture &operator=(const StreamCapture &) = delete;

    /** Everything written so far (each capture gets its own new file). */
    std::string text() const
    {
        return readFileBytes(m_Path);
    }

  private:
    PRTSTREAM *m_ppCurrent;
    PRTSTREAM m_pOld;
    std::string m_Path;
};

#endif /* ZOLT_TESTS_STREAMCAPTURE_H */
