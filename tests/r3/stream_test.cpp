/* Streams: mode strings, text and binary output bytes, buffering modes and
   their flush points, the CR LF pair at the buffer's end, sticky write
   failures, handle validation, and the exit processing of named streams. */
#include <zolt/err.h>
#include <zolt/stream.h>

#include <gtest/gtest.h>
#include <string>

#include "internal/stream.h"
#include "streamcapture.h"

namespace
{

/** A file in the working directory, removed before and after the test. */
class TempFile
{
  public:
    explicit TempFile(const char *pszName) : m_Path(std::string("stream_test-") + pszName)
    {
        std::remove(m_Path.c_str());
    }
    ~TempFile()
    {
        std::remove(m_Path.c_str());
    }
    const char *path() const
    {
        return m_Path.c_str();
    }
    std::string bytes() const
    {
        return readFileBytes(m_Path);
    }
    void create(const char *pszContent) const
    {
        std::ofstream(m_Path, std::ios::binary) << pszContent;
    }

  private:
    std::string m_Path;
};

PRTSTREAM openStream(const TempFile &File, const char *pszMode, int enmBufMode = 0)
{
    PRTSTREAM pStream = nullptr;
    EXPECT_EQ(RTStreamOpen(File.path(), pszMode, &pStream), 0) << pszMode;
    if (pStream && enmBufMode)
    {
        EXPECT_EQ(RTStreamSetBufferMode(pStream, enmBufMode), 0);
    }
    return pStream;
}

TEST(Stream, ModeStrings)
{
    TempFile Existing("existing"), Missing("missing");
    Existing.create("old");
    struct
    {
        const char *pszMode;
        bool fExisting;
        int rc; /* 1: any failure other than ERR_INVALID_FLAGS */
    } const s_aCases[] = {
        {"", true, ERR_INVALID_FLAGS},
        {nullptr, true, ERR_INVALID_FLAGS},
        {"rx", true, ERR_INVALID_FLAGS},
        {"ax", false, ERR_INVALID_FLAGS},
        {"x", false, ERR_INVALID_FLAGS},
        {"b+", true, ERR_INVALID_FLAGS},
        {"rq", true, ERR_INVALID_FLAGS},
        {"r ", true, ERR_INVALID_FLAGS},
        {"r", false, 1},
        {"wx", true, 1},
        {"r", true, 0},
        {"rb+", true, 0},
        {"wa", true, 0},
        {"ar", true, 0},
        {"atNeE", true, 0},
    };
    for (auto const &Case : s_aCases)
    {
        PRTSTREAM pStream = reinterpret_cast<PRTSTREAM>(16);
        int rc = RTStreamOpen(Case.fExisting ? Existing.path() : Missing.path(), Case.pszMode, &pStream);
        std::string const What = std::string("mode '") + (Case.pszMode ? Case.pszMode : "(null)") + "'";
        if (Case.rc == 1)
        {
            EXPECT_LT(rc, 0) << What;
            EXPECT_NE(rc, ERR_INVALID_FLAGS) << What;
        }
        else
        {
            EXPECT_EQ(rc, Case.rc) << What;
        }
        EXPECT_EQ(pStream == nullptr, rc != 0) << What;
    }
    PRTSTREAM pStream = reinterpret_cast<PRTSTREAM>(16);
    EXPECT_EQ(RTStreamOpen(nullptr, "r", &pStream), ERR_INVALID_PARAMETER);
    EXPECT_EQ(pStream, nullptr);
    EXPECT_EQ(Existing.bytes(), "old"); /* "r" and "rb+" do not truncate */

    /* "wx" creates a new file; "w" replaces; "a" appends. */
    TempFile New("new");
    PRTSTREAM pNew = openStream(New, "wx", RTSTRMBUFMODE_UNBUFFERED);
    ASSERT_NE(pNew, nullptr);
    EXPECT_EQ(RTStreamPrintf(pNew, "1"), 1);
    EXPECT_EQ(New.bytes(), "1");
    PRTSTREAM pAppend = openStream(New, "a", RTSTRMBUFMODE_UNBUFFERED);
    ASSERT_NE(pAppend, nullptr);
    EXPECT_EQ(RTStreamPrintf(pAppend, "2"), 1);
    EXPECT_EQ(New.bytes(), "12");
    PRTSTREAM pReplace = openStream(New, "w", RTSTRMBUFMODE_UNBUFFERED);
    ASSERT_NE(pReplace, nullptr);
    EXPECT_EQ(New.bytes(), "");
}

TEST(Stream, TextAndBinaryBytes)
{
    TempFile Text("text"), Binary("binary");
    PRTSTREAM pText = openStream(Text, "w", RTSTRMBUFMODE_UNBUFFERED);
    PRTSTREAM pBinary = openStream(Binary, "wb", RTSTRMBUFMODE_UNBUFFERED);
    ASSERT_TRUE(pText && pBinary);
    EXPECT_EQ(RTStreamPrintf(pText, "a\nb"), 3); /* the formatter's count, before translation */
    EXPECT_EQ(RTStreamPrintf(pBinary, "a\nb"), 3);
    EXPECT_EQ(RTStreamPrintf(pText, "%s|\n\n|%d\n", "x\ny", 42), 10);
    EXPECT_EQ(Text.bytes(), "a\r\nbx\r\ny|\r\n\r\n|42\r\n");
    EXPECT_EQ(Binary.bytes(), "a\nb");
}

TEST(Stream, LineBufferedFlushPoints)
{
    TempFile File("line");
    PRTSTREAM pStream = openStream(File, "w", RTSTRMBUFMODE_LINE);
    ASSERT_NE(pStream, nullptr);
    RTStreamPrintf(pStream, "abc\ndef");
    EXPECT_EQ(File.bytes(), "abc\r\n");
    RTStreamPrintf(pStream, "gh");
    EXPECT_EQ(File.bytes(), "abc\r\n");
    RTStreamPrintf(pStream, "i\nj\nk");
    EXPECT_EQ(File.bytes(), "abc\r\ndefghi\r\nj\r\n");
    RTStreamPrintf(pStream, "\n");
    EXPECT_EQ(File.bytes(), "abc\r\ndefghi\r\nj\r\nk\r\n");

    /* Switching modes does not flush; the next write follows the new mode. */
    RTStreamPrintf(pStream, "l");
    ASSERT_EQ(RTStreamSetBufferMode(pStream, RTSTRMBUFMODE_FULL), 0);
    RTStreamPrintf(pStream, "\n");
    EXPECT_EQ(File.bytes(), "abc\r\ndefghi\r\nj\r\nk\r\n");
    ASSERT_EQ(RTStreamSetBufferMode(pStream, RTSTRMBUFMODE_UNBUFFERED), 0);
    EXPECT_EQ(File.bytes(), "abc\r\ndefghi\r\nj\r\nk\r\n");
    RTStreamPrintf(pStream, "m");
    EXPECT_EQ(File.bytes(), "abc\r\ndefghi\r\nj\r\nk\r\nl\r\nm");
}

TEST(Stream, FullBufferAndTheCrLfPair)
{
    std::string const Fill(65535, 'x'); /* one byte short of the 64 KiB buffer */

    /* Fully buffered: nothing is written until the buffer is full. With one
       free byte left, an LF first writes out the pending bytes so that CR
       and LF stay together. */
    TempFile File("full");
    PRTSTREAM pStream = openStream(File, "w");
    ASSERT_NE(pStream, nullptr);
    EXPECT_EQ(RTStreamPrintf(pStream, "%s", Fill.c_str()), 65535);
    EXPECT_EQ(File.bytes().size(), 0u);
    RTStreamPrintf(pStream, "\n");
    EXPECT_EQ(File.bytes(), Fill);

    /* Binary: the buffer fills exactly and is written when the next byte
       arrives. */
    TempFile Binary("fullbin");
    PRTSTREAM pBinary = openStream(Binary, "wb");
    ASSERT_NE(pBinary, nullptr);
    RTStreamPrintf(pBinary, "%s\n", Fill.c_str());
    EXPECT_EQ(Binary.bytes().size(), 0u);
    RTStreamPrintf(pBinary, "yz");
    EXPECT_EQ(Binary.bytes(), Fill + "\n");

    /* Exit processing writes out the rest and closes the named streams; a
       current stream that was one of them falls back to the standard one. */
    g_pStdErr = pBinary;
    rtStrmTerm();
    EXPECT_EQ(g_pStdErr, &g_StdErrRec);
    EXPECT_EQ(File.bytes(), Fill + "\r\n");
    EXPECT_EQ(Binary.bytes(), Fill + "\nyz");
    PRTSTREAM pAgain = openStream(File, "a"); /* streams can be opened again */
    ASSERT_NE(pAgain, nullptr);
    RTStreamSetBufferMode(pAgain, RTSTRMBUFMODE_UNBUFFERED);
    RTStreamPrintf(pAgain, "!");
    EXPECT_EQ(File.bytes(), Fill + "\r\n!");
}

TEST(Stream, FailedWriteIsSticky)
{
    TempFile File("readonly");
    File.create("data");
    PRTSTREAM pStream = openStream(File, "r", RTSTRMBUFMODE_UNBUFFERED);
    ASSERT_NE(pStream, nullptr);
    EXPECT_EQ(RTStreamPrintf(pStream, "abc\n"), 4); /* formatted; the write fails */
    EXPECT_EQ(RTStreamPrintf(pStream, "abc\n"), -1);
    EXPECT_EQ(RTStreamPrintf(pStream, "%s", "more"), -1);
    EXPECT_EQ(File.bytes(), "data");
    rtStrmTerm(); /* a failed stream is not written at exit either */
    EXPECT_EQ(File.bytes(), "data");
}

TEST(Stream, InvalidHandlesAndModes)
{
    TempFile File("modes");
    PRTSTREAM pStream = openStream(File, "w");
    ASSERT_NE(pStream, nullptr);
    EXPECT_EQ(RTStreamSetBufferMode(pStream, 0), ERR_INVALID_PARAMETER);
    EXPECT_EQ(RTStreamSetBufferMode(pStream, 4), ERR_INVALID_PARAMETER);
    RTStreamPrintf(pStream, "a\n");
    EXPECT_EQ(File.bytes(), ""); /* still fully buffered */

    RTSTREAMREC Fake = {};
    for (PRTSTREAM pBad :
         {static_cast<PRTSTREAM>(nullptr), reinterpret_cast<PRTSTREAM>(4095), reinterpret_cast<PRTSTREAM>(-1), &Fake})
    {
        EXPECT_EQ(RTStreamSetBufferMode(pBad, RTSTRMBUFMODE_FULL), ERR_INVALID_HANDLE);
        EXPECT_EQ(RTStreamPrintf(pBad, "x"), ERR_INVALID_PARAMETER);
    }
}

TEST(Stream, CurrentStreamsAreReplaceable)
{
    EXPECT_EQ(g_pStdOut, &g_StdOutRec);
    EXPECT_EQ(g_pStdErr, &g_StdErrRec);
    {
        StreamCapture Out(&g_pStdOut, "stream_test-stdout");
        EXPECT_EQ(RTPrintf("%s=%u\n", "n", 7u), 4);
        EXPECT_EQ(Out.text(), "n=7\n");
    }
    EXPECT_EQ(g_pStdOut, &g_StdOutRec);
    std::remove("stream_test-stdout");
}

} // namespace
