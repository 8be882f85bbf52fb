/* Setting and restoring process environment variables in tests, through the
   host's own calls (the runtime only reads them). */
#ifndef ZOLT_TESTS_R3_ENVTESTUTIL_H
#define ZOLT_TESTS_R3_ENVTESTUTIL_H

#ifdef _WIN32
#include <windows.h>
#endif

#include <stdlib.h>
#include <string>
#include <vector>

/** Sets (or with null, removes) a variable; the text is UTF-8. */
inline void testSetEnv(const char *pszName, const char *pszValue)
{
#ifdef _WIN32
    auto wide = [](const char *psz) {
        std::wstring ws(MultiByteToWideChar(CP_UTF8, 0, psz, -1, nullptr, 0), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, psz, -1, ws.data(), (int)ws.size());
        return ws;
    };
    std::wstring const wsName = wide(pszName);
    if (pszValue)
        SetEnvironmentVariableW(wsName.c_str(), wide(pszValue).c_str());
    else
        SetEnvironmentVariableW(wsName.c_str(), nullptr);
#else
    if (pszValue)
        setenv(pszName, pszValue, 1);
    else
        unsetenv(pszName);
#endif
}

/** Saves the given variables and puts them back when it goes. */
class TestEnvGuard
{
  public:
    explicit TestEnvGuard(std::vector<std::string> Names) : m_Names(std::move(Names))
    {
        for (const std::string &sName : m_Names)
        {
#ifdef _WIN32
            wchar_t wsz[32768];
            std::wstring const wsName(sName.begin(), sName.end());
            SetLastError(0);
            DWORD const cwc = GetEnvironmentVariableW(wsName.c_str(), wsz, 32768);
            bool const fSet = cwc != 0 || GetLastError() == 0;
            std::string sValue;
            if (fSet)
            {
                sValue.resize(WideCharToMultiByte(CP_UTF8, 0, wsz, (int)cwc, nullptr, 0, nullptr, nullptr));
                WideCharToMultiByte(CP_UTF8, 0, wsz, (int)cwc, sValue.data(), (int)sValue.size(), nullptr, nullptr);
            }
            m_Saved.push_back({fSet, sValue});
#else
            const char *psz = getenv(sName.c_str());
            m_Saved.push_back({psz != nullptr, psz ? psz : ""});
#endif
        }
    }
    ~TestEnvGuard()
    {
        for (size_t i = 0; i < m_Names.size(); i++)
            testSetEnv(m_Names[i].c_str(), m_Saved[i].first ? m_Saved[i].second.c_str() : nullptr);
    }

  private:
    std::vector<std::string> m_Names;
    std::vector<std::pair<bool, std::string>> m_Saved;
};

#endif
