/* Test helper: an output callback that records what the formatter sends it,
   and one-call formatting into a std::string. */
#ifndef ZOLT_TESTS_FMTCAPTURE_H
#define ZOLT_TESTS_FMTCAPTURE_H

#include <zolt/strformat.h>

#include <string>
#include <vector>

/** Everything one formatting call sent to its output callback. */
struct FmtCapture
{
    std::string strText;                /**< all pieces joined */
    std::vector<std::string> vecPieces; /**< the pieces; "<END>" for end signals */
    unsigned cEndSignals = 0;

    static size_t output(void *pvArg, const char *pachChars, size_t cbChars)
    {
        FmtCapture *pThis = (FmtCapture *)pvArg;
        if (!pachChars && !cbChars)
        {
            pThis->cEndSignals++;
            pThis->vecPieces.push_back("<END>");
            return 0;
        }
        pThis->strText.append(pachChars, cbChars);
        pThis->vecPieces.emplace_back(pachChars, cbChars);
        return cbChars;
    }
};

/** Formats through the core (no handler) and returns the text. */
inline std::string fmtV(const char *pszFormat, va_list Args)
{
    FmtCapture Capture;
    size_t cch = RTStrFmtV(FmtCapture::output, &Capture, nullptr, nullptr, pszFormat, Args);
    if (cch != Capture.strText.size())
        return "<result " + std::to_string(cch) + " != output " + std::to_string(Capture.strText.size()) + ">";
    return Capture.strText;
}

inline std::string fmt(const char *pszFormat, ...)
{
    va_list Args;
    va_start(Args, pszFormat);
    std::string str = fmtV(pszFormat, Args);
    va_end(Args);
    return str;
}

/** One table row: the format (for the failure message), the expected and
 *  the actual text. */
struct FmtCase
{
    const char *pszFormat;
    std::string strExpected;
    std::string strActual;
};

#endif /* ZOLT_TESTS_FMTCAPTURE_H */
