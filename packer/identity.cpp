/** @file
 * The launcher's identity as resources: icon, manifest, version record and
 * the texts its code shows.
 */
#include <cstring>

#include "embedded.h"
#include "resources.h"

/** A text as UTF-16 little-endian units, as resources hold text. */
static void packAppendUtf16(const std::string &str, std::vector<uint8_t> &ab)
{
    for (size_t i = 0; i < str.size();)
    {
        uint8_t b = (uint8_t)str[i];
        unsigned cb = b < 0x80 ? 1 : b >= 0xf0 ? 4 : b >= 0xe0 ? 3 : 2;
        if (i + cb > str.size())
            cb = 1; /* a checked text is valid UTF-8; stay within it anyway */
        uint32_t uCp = cb == 1 ? b : (uint32_t)(b & (0x7f >> cb));
        for (unsigned j = 1; j < cb; j++)
            uCp = uCp << 6 | ((uint8_t)str[i + j] & 0x3f);
        i += cb;
        if (uCp >= 0x10000)
        {
            uCp -= 0x10000;
            uint16_t uHigh = (uint16_t)(0xd800 | (uCp >> 10)), uLow = (uint16_t)(0xdc00 | (uCp & 0x3ff));
            ab.insert(ab.end(), {(uint8_t)uHigh, (uint8_t)(uHigh >> 8), (uint8_t)uLow, (uint8_t)(uLow >> 8)});
        }
        else
            ab.insert(ab.end(), {(uint8_t)uCp, (uint8_t)(uCp >> 8)});
    }
}

static void packAppend16(std::vector<uint8_t> &ab, uint32_t u)
{
    ab.insert(ab.end(), {(uint8_t)u, (uint8_t)(u >> 8)});
}

static void packAppend32(std::vector<uint8_t> &ab, uint32_t u)
{
    ab.insert(ab.end(), {(uint8_t)u, (uint8_t)(u >> 8), (uint8_t)(u >> 16), (uint8_t)(u >> 24)});
}

static std::string packVersionNumbers(const PackIdentity &identity)
{
    std::string str;
    for (unsigned i = 0; i < 4; i++)
        str += (i ? "." : "") + std::to_string(identity.au16Version[i]);
    return str;
}

/** The file name without its extension (a leading dot starts no
 *  extension: ".exe" stays ".exe"). */
static std::string packInternalName(const std::string &strFileName)
{
    size_t offDot = strFileName.find_last_of('.');
    size_t offFirst = strFileName.find_first_not_of('.');
    if (offDot == std::string::npos || offFirst == std::string::npos || offDot < offFirst)
        return strFileName;
    return strFileName.substr(0, offDot);
}

/** The ASCII letters and digits of a text as words joined by dots. */
static std::string packDottedWords(const std::string &str)
{
    std::string strOut;
    bool fInWord = false;
    for (char ch : str)
    {
        bool fWordChar = (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9');
        if (fWordChar && !fInWord && !strOut.empty())
            strOut += '.';
        if (fWordChar)
            strOut += ch;
        fInWord = fWordChar;
    }
    return strOut;
}

static std::string packXmlText(const std::string &str)
{
    std::string strOut;
    for (char ch : str)
    {
        switch (ch)
        {
            case '&': strOut += "&amp;"; break;
            case '<': strOut += "&lt;"; break;
            case '>': strOut += "&gt;"; break;
            case '"': strOut += "&quot;"; break;
            default: strOut += ch;
        }
    }
    return strOut;
}

/** The template without its comments, each taken with the blanks before
 *  it and the line end before those: they are for the template's readers. */
static std::string packStripComments(const std::string &str)
{
    std::string strOut;
    size_t off = 0;
    for (;;)
    {
        size_t offComment = str.find("<!--", off);
        size_t offEnd = offComment == std::string::npos ? std::string::npos : str.find("-->", offComment + 4);
        if (offEnd == std::string::npos)
        {
            strOut.append(str, off, std::string::npos);
            return strOut;
        }
        strOut.append(str, off, offComment - off);
        size_t cchKeep = strOut.size();
        while (cchKeep > 0 && (strOut[cchKeep - 1] == ' ' || strOut[cchKeep - 1] == '\t'))
            cchKeep--;
        if (cchKeep > 0 && strOut[cchKeep - 1] == '\n')
            cchKeep--;
        /* Only what was copied since the last comment may go. */
        size_t cchCopiedBefore = strOut.size() - (offComment - off);
        strOut.resize(cchKeep > cchCopiedBefore ? cchKeep : cchCopiedBefore);
        off = offEnd + 3;
    }
}

std::string PackManifestText(const PackIdentity &identity, const std::string &strTemplate)
{
    std::string strName = packDottedWords(identity.strProductName);
    if (strName.empty())
        strName = packDottedWords(packInternalName(identity.strFileName));
    if (strName.empty())
        strName = "Launcher";
    std::string strSettings;
    if (identity.fDpiAware)
        strSettings +=
            "      <dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true</dpiAware>\n";
    if (identity.fLongPathAware)
        strSettings += "      <longPathAware xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">"
                       "true</longPathAware>\n";
    if (!strSettings.empty())
        strSettings = "  <application xmlns=\"urn:schemas-microsoft-com:asm.v3\">\n    <windowsSettings>\n" +
                      strSettings + "    </windowsSettings>\n  </application>\n";
    const struct
    {
        const char *pszName;
        std::string strValue;
    } aValues[] = {
        {"NAME", strName},
        {"VERSION", packVersionNumbers(identity)},
        {"DESCRIPTION", packXmlText(identity.strProductName)},
        {"EXECUTION_LEVEL", identity.strExecutionLevel},
        {"WINDOWS_SETTINGS", strSettings},
    };

    /* "@NAME@" and the line end right after it become the value. */
    std::string strText = packStripComments(strTemplate), strOut;
    size_t off = 0;
    for (;;)
    {
        size_t offAt = strText.find('@', off);
        if (offAt == std::string::npos)
            break;
        size_t offClose = strText.find('@', offAt + 1);
        const std::string *pstrValue = nullptr;
        if (offClose != std::string::npos)
            for (const auto &value : aValues)
                if (strText.compare(offAt + 1, offClose - offAt - 1, value.pszName) == 0)
                    pstrValue = &value.strValue;
        if (!pstrValue)
        {
            strOut.append(strText, off, offAt + 1 - off);
            off = offAt + 1;
            continue;
        }
        strOut.append(strText, off, offAt - off);
        strOut += *pstrValue;
        off = offClose + 1;
        if (off < strText.size() && strText[off] == '\n')
            off++;
    }
    strOut.append(strText, off, std::string::npos);
    return strOut;
}

/** One node of a version record: its length, its value's length (UTF-16
 *  units with the terminator for text, bytes otherwise), its kind (1 text,
 *  0 binary), its key, then the value and the children, each at a 4-byte
 *  boundary. The length leaves out the padding after the last part. */
static std::vector<uint8_t> packVersionNode(const std::string &strKey, const std::vector<uint8_t> &abValue, bool fText,
                                            const std::vector<std::vector<uint8_t>> &children)
{
    std::vector<uint8_t> ab(6, 0);
    packAppendUtf16(strKey, ab);
    packAppend16(ab, 0);
    if (!abValue.empty())
    {
        ab.resize((ab.size() + 3) & ~(size_t)3);
        ab.insert(ab.end(), abValue.begin(), abValue.end());
    }
    for (const std::vector<uint8_t> &child : children)
    {
        ab.resize((ab.size() + 3) & ~(size_t)3);
        ab.insert(ab.end(), child.begin(), child.end());
    }
    size_t cbValue = fText ? abValue.size() / 2 : abValue.size();
    ab[0] = (uint8_t)ab.size();
    ab[1] = (uint8_t)(ab.size() >> 8);
    ab[2] = (uint8_t)cbValue;
    ab[3] = (uint8_t)(cbValue >> 8);
    ab[4] = fText ? 1 : 0;
    return ab;
}

std::vector<uint8_t> PackVersionRecord(const PackIdentity &identity)
{
    /* VS_FIXEDFILEINFO: signature, structure version 1.0, file and product
       version, flags mask VS_FFI_FILEFLAGSMASK with no flags set,
       VOS_NT_WINDOWS32, VFT_APP, no subtype, no date. */
    const uint16_t *pu = identity.au16Version;
    std::vector<uint8_t> abFixed;
    packAppend32(abFixed, 0xfeef04bd);
    packAppend32(abFixed, 0x00010000);
    for (int i = 0; i < 2; i++)
    {
        packAppend32(abFixed, (uint32_t)pu[0] << 16 | pu[1]);
        packAppend32(abFixed, (uint32_t)pu[2] << 16 | pu[3]);
    }
    for (uint32_t u : {0x3fu, 0u, 0x00040004u, 1u, 0u, 0u, 0u})
        packAppend32(abFixed, u);

    const std::string strVersion = packVersionNumbers(identity);
    const std::pair<const char *, const std::string *> aStrings[] = {
        {"CompanyName", &identity.strCompanyName},
        {"FileDescription", &identity.strProductName},
        {"FileVersion", &strVersion},
        {"InternalName", nullptr},
        {"LegalCopyright", &identity.strCopyright},
        {"OriginalFilename", &identity.strFileName},
        {"ProductName", &identity.strProductName},
        {"ProductVersion", &identity.strVersionText},
    };
    const std::string strInternalName = packInternalName(identity.strFileName);
    std::vector<std::vector<uint8_t>> strings;
    for (const auto &entry : aStrings)
    {
        const std::string &strValue = entry.second ? *entry.second : strInternalName;
        if (strValue.empty())
            continue; /* an empty value is left out */
        std::vector<uint8_t> abText;
        packAppendUtf16(strValue, abText);
        packAppend16(abText, 0);
        strings.push_back(packVersionNode(entry.first, abText, true, {}));
    }
    /* English (United States), Unicode: 0x0409, code page 1200. */
    std::vector<uint8_t> abTranslation;
    packAppend16(abTranslation, 0x0409);
    packAppend16(abTranslation, 1200);
    return packVersionNode(
        "VS_VERSION_INFO", abFixed, false,
        {packVersionNode("StringFileInfo", {}, true, {packVersionNode("040904B0", {}, true, strings)}),
         packVersionNode("VarFileInfo", {}, true, {packVersionNode("Translation", abTranslation, false, {})})});
}

std::vector<uint8_t> PackIdentityBlob(const PackIdentity &identity)
{
    std::vector<uint8_t> ab = {'Q', 'u', 'o', 'r', 'I', 'd', 'V', '1'};
    for (const std::string *pstr :
         {&identity.strProductName, &identity.strProductInSentences, &identity.strVersionText, &identity.strMutexName})
    {
        ab.insert(ab.end(), pstr->begin(), pstr->end());
        ab.push_back(0);
    }
    return ab;
}

static PackResource packResource(uint16_t uType, uint16_t uId, std::vector<uint8_t> &&abData)
{
    PackResource res;
    res.Type.uId = uType;
    res.Name.uId = uId;
    res.abData = std::move(abData);
    return res;
}

static PackResource packNamedResource(const char *pszName, std::vector<uint8_t> &&abData)
{
    PackResource res = packResource(PACK_RT_RCDATA, 0, std::move(abData));
    res.Name.strName = pszName;
    return res;
}

bool PackAddIdentityResources(const PackIdentity &identity, std::vector<PackResource> &resources, std::string &strError)
{
    /* An .ico file: reserved, type 1, count, then per image width, height,
       colours, reserved, planes, bits per pixel, size and file offset. The
       group holds the same entries with an icon id in place of the offset. */
    const std::vector<uint8_t> &abIco = identity.abIcon;
    unsigned cImages = abIco.size() >= 6 ? (unsigned)(abIco[4] | abIco[5] << 8) : 0;
    if (cImages == 0 || abIco.size() < 6 + 16 * (size_t)cImages)
    {
        strError = "the icon's directory does not fit its file";
        return false;
    }
    std::vector<uint8_t> abGroup(abIco.begin(), abIco.begin() + 6);
    for (unsigned i = 0; i < cImages; i++)
    {
        const uint8_t *pbEntry = &abIco[6 + 16 * i];
        uint32_t cb = (uint32_t)pbEntry[8] | (uint32_t)pbEntry[9] << 8 | (uint32_t)pbEntry[10] << 16 |
                      (uint32_t)pbEntry[11] << 24;
        uint32_t off = (uint32_t)pbEntry[12] | (uint32_t)pbEntry[13] << 8 | (uint32_t)pbEntry[14] << 16 |
                       (uint32_t)pbEntry[15] << 24;
        if (off > abIco.size() || cb > abIco.size() - off)
        {
            strError = "image #" + std::to_string(i) + " of the icon lies outside its file";
            return false;
        }
        abGroup.insert(abGroup.end(), pbEntry, pbEntry + 12);
        packAppend16(abGroup, i + 1);
        resources.push_back(packResource(PACK_RT_ICON, (uint16_t)(i + 1),
                                         std::vector<uint8_t>(abIco.begin() + off, abIco.begin() + off + cb)));
    }
    resources.push_back(packResource(PACK_RT_GROUP_ICON, 1, std::move(abGroup)));
    std::string strTemplate((const char *)g_abPackManifestTemplate, g_abPackManifestTemplateSize);
    std::string strManifest = PackManifestText(identity, strTemplate);
    resources.push_back(
        packResource(PACK_RT_MANIFEST, 1, std::vector<uint8_t>(strManifest.begin(), strManifest.end())));
    resources.push_back(packResource(PACK_RT_VERSION, 1, PackVersionRecord(identity)));
    resources.push_back(packNamedResource("IDENTITY", PackIdentityBlob(identity)));
    return true;
}

void PackAddContainerResources(const std::vector<PackPackage> &packages, const std::vector<std::vector<uint8_t>> &certs,
                               const std::string &strSplash, uint64_t cbSplash, std::vector<PackResource> &resources)
{
    std::vector<uint8_t> abManifest(16, 0);
    memcpy(abManifest.data(), "QuorInstV1", 10);
    abManifest[15] = (uint8_t)packages.size();
    resources.push_back(packNamedResource("MANIFEST", std::move(abManifest)));
    for (size_t i = 0; i < packages.size(); i++)
    {
        const PackPackage &pkg = packages[i];
        char szHeader[16];
        snprintf(szHeader, sizeof(szHeader), "HDR_%02u", (unsigned)i);
        resources.push_back(packNamedResource(szHeader, std::vector<uint8_t>(pkg.abHeader)));
        PackResource bin = packNamedResource(pkg.strResource.c_str(), {});
        bin.strFile = pkg.strPath;
        bin.cbFile = pkg.cbSize;
        /* The launcher writes a package out from page-aligned views of its
           own file. */
        bin.fPageAligned = true;
        resources.push_back(std::move(bin));
    }
    std::vector<uint8_t> abCerts = {'Q', 'u', 'o', 'r', 'C', 'r', 'V', '1'};
    packAppend32(abCerts, (uint32_t)certs.size());
    for (const std::vector<uint8_t> &der : certs)
    {
        packAppend32(abCerts, (uint32_t)der.size());
        abCerts.insert(abCerts.end(), der.begin(), der.end());
    }
    resources.push_back(packNamedResource("CERTS", std::move(abCerts)));
    if (!strSplash.empty())
    {
        PackResource splash;
        splash.Type.strName = "PNG";
        splash.Name.uId = 102;
        splash.strFile = strSplash;
        splash.cbFile = cbSplash;
        resources.push_back(std::move(splash));
    }
}
