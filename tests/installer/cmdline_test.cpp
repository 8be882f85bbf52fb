/** @file
 * Tests of the launcher's command line: settings from valid arguments, the
 * parameter buffer's limits, and the console forms of the errors, help and
 * version (the message-box forms are exercised under Xvfb, tests/e2e).
 */
#include <zolt/path.h>

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "capture.h"
#include "cmdline.h"
#include "messages.h"

namespace
{

class CmdLineTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        g_fSilentMode = false;
        g_cVerbosity = 0;
    }
    void TearDown() override
    {
        g_fSilentMode = false;
        g_cVerbosity = 0;
    }
    /** Parses "setup.exe" followed by @a Args. */
    int Parse(std::vector<std::string> Args)
    {
        Args.insert(Args.begin(), "setup.exe");
        m_Storage = Args;
        m_Argv.clear();
        for (std::string &str : m_Storage)
            m_Argv.push_back(&str[0]);
        m_Argv.push_back(nullptr);
        return ParseStubCommandLine((int)m_Storage.size(), m_Argv.data(), &m_Settings);
    }
    StubSettings m_Settings;
    std::vector<std::string> m_Storage;
    std::vector<char *> m_Argv;
    StreamCapture m_Capture;
};

TEST_F(CmdLineTest, NoArgumentsGiveTheDefaults)
{
    ASSERT_EQ(STUB_CONTINUE, Parse({}));
    EXPECT_FALSE(m_Settings.fExtractOnly);
    EXPECT_TRUE(m_Settings.fInstallCert);
    EXPECT_FALSE(m_Settings.fEnableLogging);
    EXPECT_FALSE(m_Settings.fIgnoreReboot);
    EXPECT_STREQ("", m_Settings.szExtractPath);
    EXPECT_STREQ("", m_Settings.szMsiLogFile);
    EXPECT_STREQ("", m_Settings.szMsiParams);
    EXPECT_FALSE(g_fSilentMode);
    EXPECT_EQ(0u, g_cVerbosity);
}

TEST_F(CmdLineTest, FlagsInEverySpelling)
{
    struct
    {
        std::vector<std::string> Args;
        bool fExtract, fCert, fLogging, fIgnoreReboot, fSilent;
        unsigned cVerbosity;
    } const s_aCases[] = {
        {{"--extract", "--silent", "--no-silent-cert"}, true, false, false, false, true, 0},
        {{"-extract", "-silent", "-no-silent-cert"}, true, false, false, false, true, 0},
        {{"/extract", "/silent", "/no-silent-cert"}, true, false, false, false, true, 0},
        {{"-x", "-s", "-c"}, true, false, false, false, true, 0},
        {{"--logging", "--ignore-reboot"}, false, true, true, true, false, 0},
        {{"-logging"}, false, true, true, false, false, 0},
        {{"/logging", "-r"}, false, true, true, true, false, 0},
        {{"-vv"}, false, true, false, false, false, 2},
        {{"--verbose", "-verbose", "/verbose"}, false, true, false, false, false, 3},
        {{"--no-install-timestamp-ca", "--force-install-timestamp-ca", "-t", "-T"},
         false,
         true,
         false,
         false,
         false,
         0},
    };
    for (const auto &Case : s_aCases)
    {
        SetUp();
        std::string strCase = ::testing::PrintToString(Case.Args);
        ASSERT_EQ(STUB_CONTINUE, Parse(Case.Args)) << strCase;
        EXPECT_EQ(Case.fExtract, m_Settings.fExtractOnly) << strCase;
        EXPECT_EQ(Case.fCert, m_Settings.fInstallCert) << strCase;
        EXPECT_EQ(Case.fLogging, m_Settings.fEnableLogging) << strCase;
        EXPECT_EQ(Case.fIgnoreReboot, m_Settings.fIgnoreReboot) << strCase;
        EXPECT_EQ(Case.fSilent, g_fSilentMode) << strCase;
        EXPECT_EQ(Case.cVerbosity, g_cVerbosity) << strCase;
        EXPECT_STREQ("", m_Settings.szMsiParams) << strCase;
    }
}

TEST_F(CmdLineTest, ParametersAccumulateInArgumentOrder)
{
    struct
    {
        std::vector<std::string> Args;
        const char *pszParams;
    } const s_aCases[] = {
        {{"--msiparams", "A=1", "B=2"}, "A=1 B=2"},
        {{"--msiparams", "A=1", "-m", "C=3"}, "A=1 C=3"},
        {{"--msi-prop", "INSTALLDIR", "C:\\Apps\\X"}, "INSTALLDIR=C:\\Apps\\X"},
        {{"--msi-prop", "INSTALLDIR", "C:\\Program Files\\X"}, "INSTALLDIR=\"C:\\Program Files\\X\""},
        {{"--msi-prop", "A", "1", "--msi-prop", "B", "x\ty"}, "A=1 B=\"x\ty\""},
        {{"--msi-prop", "", "v"}, "=v"},
        {{"--msi-prop", "Q", "say \"hi\""}, "Q=\"say \"hi\"\""},
        {{"--reinstall", "--msiparams", "X=1"}, "REINSTALLMODE=vomus REINSTALL=ALL X=1"},
        {{"-f", "/reinstall"}, "REINSTALLMODE=vomus REINSTALL=ALL REINSTALLMODE=vomus REINSTALL=ALL"},
        {{"--msiparams=A=1", "--msiparams:B=2"}, "A=1 B=2"},
    };
    for (const auto &Case : s_aCases)
    {
        SetUp();
        std::string strCase = ::testing::PrintToString(Case.Args);
        ASSERT_EQ(STUB_CONTINUE, Parse(Case.Args)) << strCase;
        EXPECT_STREQ(Case.pszParams, m_Settings.szMsiParams) << strCase;
    }
}

TEST_F(CmdLineTest, ParameterBufferHoldsExactly4095Bytes)
{
    std::string strA(4000, 'a');
    std::string strB(94, 'b'); /* 4000 + blank + 94 = 4095 */
    ASSERT_EQ(STUB_CONTINUE, Parse({"--msiparams", strA, strB}));
    EXPECT_EQ(4095u, strlen(m_Settings.szMsiParams));

    g_fSilentMode = true;
    EXPECT_EQ(2, Parse({"--msiparams", strA, strB + "b"}));
    EXPECT_NE(std::string::npos, m_Capture.TakeErr().find("error: Out of space for MSI parameters and properties\n"));
    /* The same limit through the property formatting. */
    EXPECT_EQ(2, Parse({"--msi-prop", std::string(4090, 'p'), "value"}));
    EXPECT_NE(std::string::npos, m_Capture.TakeErr().find("error: Out of space for MSI parameters and properties\n"));
}

TEST_F(CmdLineTest, PathsAreMadeAbsoluteAndAnEmptyValueClearsThem)
{
    char szExpected[STUB_PATH_SIZE];
    ASSERT_EQ(0, RTPathAbs("sub\\dir", szExpected, sizeof(szExpected)));
    ASSERT_EQ(STUB_CONTINUE, Parse({"--path", "sub\\dir", "--msi-log-file", "sub\\dir"}));
    EXPECT_STREQ(szExpected, m_Settings.szExtractPath);
    EXPECT_STREQ(szExpected, m_Settings.szMsiLogFile);
    EXPECT_TRUE(RTPathStartsWithRoot(m_Settings.szExtractPath));

    ASSERT_EQ(STUB_CONTINUE, Parse({"--path", "C:\\Quor", "-path", "", "-msilogfile", "x", "--msi-log-file="}));
    EXPECT_STREQ("", m_Settings.szExtractPath);
    EXPECT_STREQ("", m_Settings.szMsiLogFile);
    EXPECT_FALSE(m_Settings.fEnableLogging);
}

TEST_F(CmdLineTest, ErrorsOnTheConsoleWhenSilent)
{
    const std::string strLong = "C:\\" + std::string(4100, 'd');
    struct
    {
        std::vector<std::string> Args;
        const char *pszMessage; /* our own texts; null: the parser's standard message */
    } const s_aCases[] = {
        {{"--msi-prop", "a b", "v"}, "The first argument to --msi-prop must not contain spaces: a b"},
        {{"--msi-prop", "a\tb"}, "The first argument to --msi-prop must not contain spaces: a\tb"},
        {{"--msi-prop", "NAME"}, "--msi-prop takes two arguments, the 2nd is missing"},
        {{"--path", strLong}, "Extraction path is too long ("},
        {{"--msi-log-file", strLong}, "MSI log file path is too long ("},
        {{"B=2"}, nullptr},
        {{"--EXTRACT"}, nullptr},
        {{"--path"}, nullptr},
        {{"--msiparams", "A=1", "--bogus", "--help"}, nullptr},
    };
    for (const auto &Case : s_aCases)
    {
        SetUp();
        std::vector<std::string> Args = Case.Args;
        Args.insert(Args.begin(), "--silent");
        std::string strCase = ::testing::PrintToString(Args);
        EXPECT_EQ(2, Parse(Args)) << strCase;
        std::string strErr = m_Capture.TakeErr();
        if (Case.pszMessage)
            EXPECT_NE(std::string::npos, strErr.find(std::string("error: ") + Case.pszMessage)) << strCase << strErr;
        else
            EXPECT_NE(std::string::npos, strErr.find("error: ")) << strCase << strErr;
        EXPECT_EQ("", m_Capture.TakeOut()) << strCase;
    }
}

TEST_F(CmdLineTest, VersionAndHelpEndTheRunWhereTheyStand)
{
    g_fSilentMode = true;
    EXPECT_EQ(0, Parse({"--version", "--no-such-option"}));
    EXPECT_EQ("Version: 7.2.0r169963\n", m_Capture.TakeOut());
    EXPECT_EQ(2, Parse({"--no-such-option", "--version"}));
    EXPECT_EQ("", m_Capture.TakeOut());
    m_Capture.TakeErr();

    for (const char *pszHelp : {"--help", "-help", "/help", "/?", "-?", "-h"})
    {
        EXPECT_EQ(0, Parse({pszHelp})) << pszHelp;
        std::string strOut = m_Capture.TakeOut();
        EXPECT_EQ(0u, strOut.find("-- Marrowdale Installer v7.2.0r169963 --\n\nCommand Line Parameters:\n")) << strOut;
        EXPECT_NE(std::string::npos,
                  strOut.find("\n  setup.exe --msiparams \"INSTALLDIR=\"\"C:\\Program Files\\Marrowdale\"\"\"\n"
                              "  setup.exe --extract -path C:\\Quor\n"))
            << strOut;
    }
}

} // namespace
