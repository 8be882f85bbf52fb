/** @file
 * Captures what the launcher writes to the current standard output and
 * error streams during a test: both are pointed at unbuffered streams on
 * files for the test's life, and each Take() returns what arrived since the
 * last one. Streams live until the process ends, so one pair is shared by
 * all tests of a binary.
 */
#ifndef TESTS_INSTALLER_CAPTURE_H
#define TESTS_INSTALLER_CAPTURE_H

#include <zolt/err.h>
#include <zolt/stream.h>

#include <fstream>
#include <gtest/gtest.h>
#include <process.h>
#include <sstream>
#include <stdlib.h>
#include <string>

class StreamCapture
{
  public:
    StreamCapture()
    {
        /* Test binaries run side by side in one directory: the files carry
           the process id so that they never share one. */
        static Channel s_Out(fileName("stdout")), s_Err(fileName("stderr"));
        m_pOut = &s_Out;
        m_pErr = &s_Err;
        m_pOldOut = g_pStdOut;
        m_pOldErr = g_pStdErr;
        g_pStdOut = s_Out.pStream;
        g_pStdErr = s_Err.pStream;
        s_Out.Take();
        s_Err.Take();
    }
    ~StreamCapture()
    {
        g_pStdOut = m_pOldOut;
        g_pStdErr = m_pOldErr;
    }
    /** Text written to standard output since the last call, LF line ends. */
    std::string TakeOut()
    {
        return m_pOut->Take();
    }
    /** The same for standard error. */
    std::string TakeErr()
    {
        return m_pErr->Take();
    }

  private:
    /** Absolute: the launcher changes the current directory (extraction
     *  makes its directory current), and Take() must still find the file. */
    static std::string fileName(const char *pszWhat)
    {
        std::string strName = "capture-" + std::to_string(_getpid()) + "-" + pszWhat + ".txt";
        char szAbs[_MAX_PATH];
        return _fullpath(szAbs, strName.c_str(), sizeof(szAbs)) ? szAbs : strName;
    }

    struct Channel
    {
        explicit Channel(const std::string &strName) : strPath(strName)
        {
            int rc = RTStreamOpen(strName.c_str(), "wt", &pStream);
            if (RT_FAILURE(rc))
                ADD_FAILURE() << "RTStreamOpen(" << strName << ") failed: " << rc;
            else
                RTStreamSetBufferMode(pStream, RTSTRMBUFMODE_UNBUFFERED);
        }
        std::string Take()
        {
            std::ifstream In(strPath, std::ios::binary);
            std::stringstream Text;
            Text << In.rdbuf();
            std::string strAll = Text.str();
            std::string strNew = strAll.substr(cbTaken < strAll.size() ? cbTaken : strAll.size());
            cbTaken = strAll.size();
            std::string strLf;
            for (char ch : strNew)
                if (ch != '\r')
                    strLf += ch;
            return strLf;
        }
        std::string strPath;
        PRTSTREAM pStream = nullptr;
        size_t cbTaken = 0;
    };
    Channel *m_pOut;
    Channel *m_pErr;
    PRTSTREAM m_pOldOut;
    PRTSTREAM m_pOldErr;
};

/**
 * What the reporters wrote to standard error, line by line: a runtime error
 * message ("<program>: error: <text>", ShowError in silent runs) becomes
 * "shown: <text>", a detail line ("error: <text>", PrintError and friends)
 * stays as it is, and anything else gets "?? " in front.
 */
inline std::string Reports(const std::string &strErr)
{
    std::string strOut;
    size_t off = 0;
    while (off < strErr.size())
    {
        size_t offEnd = strErr.find('\n', off);
        if (offEnd == std::string::npos)
            offEnd = strErr.size();
        std::string strLine = strErr.substr(off, offEnd - off);
        off = offEnd + 1;
        size_t offShown = strLine.find(": error: ");
        if (strLine.rfind("error: ", 0) == 0)
            strOut += strLine;
        else if (offShown != std::string::npos)
            strOut += "shown: " + strLine.substr(offShown + 9);
        else
            strOut += "?? " + strLine;
        strOut += "\n";
    }
    return strOut;
}

#endif /* TESTS_INSTALLER_CAPTURE_H */
