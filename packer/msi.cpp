/** @file
 * A compound-file reader for Windows Installer packages: just enough to read
 * one stream of the root storage (the summary information, the digital
 * signature), a sector at a time.
 */
#include "msi.h"

#include <cstring>

namespace
{

constexpr uint8_t g_abCfbSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr uint32_t CFB_MAX_REGULAR = 0xFFFFFFFA; /* sector numbers above are markers */
constexpr uint32_t CFB_END_OF_CHAIN = 0xFFFFFFFE;
constexpr uint32_t CFB_NO_STREAM = 0xFFFFFFFF;
constexpr size_t CFB_HEADER_SIZE = 512;
constexpr size_t CFB_ENTRY_SIZE = 128;
constexpr unsigned CFB_HEADER_DIFAT_COUNT = 109;
constexpr uint8_t CFB_TYPE_STREAM = 2, CFB_TYPE_ROOT = 5;

uint16_t GetU16(const uint8_t *pb)
{
    return uint16_t(pb[0] | pb[1] << 8);
}

uint32_t GetU32(const uint8_t *pb)
{
    return uint32_t(pb[0]) | uint32_t(pb[1]) << 8 | uint32_t(pb[2]) << 16 | uint32_t(pb[3]) << 24;
}

/** A position in a sector chain: the sector holding the chain's idx-th sector. */
struct ChainCursor
{
    uint32_t uFirst = CFB_END_OF_CHAIN;
    uint32_t idx = 0;
    uint32_t uSector = CFB_END_OF_CHAIN;
};

/** One open compound file. Sector buffers hold one sector each: the last
 *  FAT and DIFAT sectors looked at, so a chain walked forward reads each of
 *  them once. */
class CfbReader
{
  public:
    CfbReader(const PackMsiSource &source, std::string &strError) : m_Source(source), m_strError(strError)
    {
    }

    bool Open();
    bool FindRootStream(const char *pszName, uint32_t &uFirst, uint64_t &cbStream, bool &fFound);
    bool ReadStream(uint32_t uFirst, uint64_t cbStream, std::vector<uint8_t> &ab);

  private:
    bool Fail(const std::string &strWhy)
    {
        m_strError = strWhy;
        return false;
    }
    bool ReadSector(uint32_t uSector, uint8_t *pb);
    bool FatSectorOf(uint32_t idxFat, uint32_t &uSector);
    bool Next(uint32_t uSector, uint32_t &uNext);
    bool Seek(ChainCursor &cursor, uint32_t idx);
    bool MiniNext(uint32_t uMini, uint32_t &uNext);

    const PackMsiSource &m_Source;
    std::string &m_strError;
    uint8_t m_abHeader[CFB_HEADER_SIZE];
    unsigned m_cShift = 9;
    uint32_t m_cbSector = 512;
    uint32_t m_cSectors = 0; /**< sectors that lie (at least partly) in the file */
    uint32_t m_cFatSectors = 0;
    uint32_t m_cDifatSectors = 0;
    uint32_t m_cbMiniCutoff = 4096;
    ChainCursor m_MiniFat, m_MiniStream;
    uint64_t m_cbMiniStream = 0;
    std::vector<uint8_t> m_abFat, m_abDifat, m_abMiniFat;
    uint32_t m_idxFatLoaded = CFB_NO_STREAM, m_idxDifatLoaded = CFB_NO_STREAM, m_idxMiniFatLoaded = CFB_NO_STREAM;
    uint32_t m_uDifatSector = CFB_END_OF_CHAIN; /**< the sector of DIFAT sector m_idxDifatLoaded */
};

bool CfbReader::Open()
{
    if (m_Source.cbSize < CFB_HEADER_SIZE || !m_Source.pfnRead(m_Source.pvUser, 0, m_abHeader, CFB_HEADER_SIZE))
        return Fail("the file is shorter than a compound file's header");
    if (memcmp(m_abHeader, g_abCfbSignature, sizeof(g_abCfbSignature)) != 0 || GetU16(m_abHeader + 28) != 0xFFFE)
        return Fail("no compound file header");
    uint16_t uMajor = GetU16(m_abHeader + 26);
    m_cShift = GetU16(m_abHeader + 30);
    if (!((uMajor == 3 && m_cShift == 9) || (uMajor == 4 && m_cShift == 12)) || GetU16(m_abHeader + 32) != 6)
        return Fail("an unknown compound file version or sector size");
    m_cbSector = 1u << m_cShift;
    /* Sector n lies at (n + 1) * size; the last one may be cut short. */
    uint64_t cSectors = (m_Source.cbSize - 1) / m_cbSector;
    m_cSectors = cSectors > CFB_MAX_REGULAR ? CFB_MAX_REGULAR : uint32_t(cSectors);
    m_cFatSectors = GetU32(m_abHeader + 44);
    m_cDifatSectors = GetU32(m_abHeader + 72);
    m_cbMiniCutoff = GetU32(m_abHeader + 56);
    if (m_cbMiniCutoff != 4096)
        return Fail("a mini stream cutoff other than 4096");
    if (m_cFatSectors > m_cSectors || m_cDifatSectors > m_cSectors)
        return Fail("more allocation table sectors than the file holds");
    m_MiniFat.uFirst = m_MiniFat.uSector = GetU32(m_abHeader + 60);
    m_abFat.resize(m_cbSector);
    m_abDifat.resize(m_cbSector);
    m_abMiniFat.resize(m_cbSector);
    return true;
}

bool CfbReader::ReadSector(uint32_t uSector, uint8_t *pb)
{
    if (uSector >= m_cSectors)
        return Fail("sector " + std::to_string(uSector) + " lies past the end of the file");
    uint64_t off = (uint64_t(uSector) + 1) << m_cShift;
    /* The last sector may be cut short by the end of the file. */
    uint64_t cb = m_Source.cbSize - off < m_cbSector ? m_Source.cbSize - off : m_cbSector;
    memset(pb, 0, m_cbSector);
    if (!m_Source.pfnRead(m_Source.pvUser, off, pb, size_t(cb)))
        return Fail("sector " + std::to_string(uSector) + " cannot be read");
    return true;
}

bool CfbReader::FatSectorOf(uint32_t idxFat, uint32_t &uSector)
{
    if (idxFat >= m_cFatSectors)
        return Fail("a sector number beyond the allocation table");
    if (idxFat < CFB_HEADER_DIFAT_COUNT)
    {
        uSector = GetU32(m_abHeader + 76 + 4 * idxFat);
        return true;
    }
    /* Each DIFAT sector holds the numbers of cbSector / 4 - 1 FAT sectors
     * and, last, the number of the next DIFAT sector. */
    uint32_t cPerDifat = m_cbSector / 4 - 1;
    uint32_t idxDifat = (idxFat - CFB_HEADER_DIFAT_COUNT) / cPerDifat;
    if (idxDifat >= m_cDifatSectors)
        return Fail("a FAT sector beyond the DIFAT");
    if (m_idxDifatLoaded == CFB_NO_STREAM || idxDifat < m_idxDifatLoaded)
    {
        m_idxDifatLoaded = 0;
        m_uDifatSector = GetU32(m_abHeader + 68);
        if (!ReadSector(m_uDifatSector, m_abDifat.data()))
            return false;
    }
    while (m_idxDifatLoaded < idxDifat)
    {
        m_uDifatSector = GetU32(m_abDifat.data() + 4 * cPerDifat);
        m_idxDifatLoaded++;
        if (!ReadSector(m_uDifatSector, m_abDifat.data()))
        {
            m_idxDifatLoaded = CFB_NO_STREAM;
            return false;
        }
    }
    uSector = GetU32(m_abDifat.data() + 4 * ((idxFat - CFB_HEADER_DIFAT_COUNT) % cPerDifat));
    return true;
}

bool CfbReader::Next(uint32_t uSector, uint32_t &uNext)
{
    uint32_t cPerFat = m_cbSector / 4;
    uint32_t idxFat = uSector / cPerFat;
    if (idxFat != m_idxFatLoaded)
    {
        uint32_t uFatSector;
        m_idxFatLoaded = CFB_NO_STREAM;
        if (!FatSectorOf(idxFat, uFatSector) || !ReadSector(uFatSector, m_abFat.data()))
            return false;
        m_idxFatLoaded = idxFat;
    }
    uNext = GetU32(m_abFat.data() + 4 * (uSector % cPerFat));
    return true;
}

bool CfbReader::Seek(ChainCursor &cursor, uint32_t idx)
{
    if (idx < cursor.idx)
    {
        cursor.idx = 0;
        cursor.uSector = cursor.uFirst;
    }
    /* A chain visits each sector once at most: a longer one loops. */
    if (idx >= m_cSectors)
        return Fail("a sector chain longer than the file");
    while (cursor.idx < idx)
    {
        if (cursor.uSector >= m_cSectors)
            return Fail("a sector chain ends early");
        if (!Next(cursor.uSector, cursor.uSector))
            return false;
        cursor.idx++;
    }
    if (cursor.uSector >= m_cSectors)
        return Fail("a sector chain ends early");
    return true;
}

bool CfbReader::MiniNext(uint32_t uMini, uint32_t &uNext)
{
    uint32_t cPerSector = m_cbSector / 4;
    uint32_t idx = uMini / cPerSector;
    if (idx != m_idxMiniFatLoaded)
    {
        m_idxMiniFatLoaded = CFB_NO_STREAM;
        if (!Seek(m_MiniFat, idx) || !ReadSector(m_MiniFat.uSector, m_abMiniFat.data()))
            return false;
        m_idxMiniFatLoaded = idx;
    }
    uNext = GetU32(m_abMiniFat.data() + 4 * (uMini % cPerSector));
    return true;
}

bool CfbReader::FindRootStream(const char *pszName, uint32_t &uFirst, uint64_t &cbStream, bool &fFound)
{
    /* The directory: its entries' tree links and, for each, whether it is
     * the stream sought. Entries are few (one per stream), unlike the
     * file's sectors. */
    struct Entry
    {
        uint32_t uLeft, uRight, uChild, uStart;
        uint64_t cbSize;
        bool fMatch;
    };
    std::vector<Entry> entries;
    std::vector<uint8_t> abSector(m_cbSector);
    size_t cchName = strlen(pszName);
    uint32_t cPerSector = m_cbSector / CFB_ENTRY_SIZE;
    uint32_t uSector = GetU32(m_abHeader + 48);
    for (uint32_t cRead = 0; uSector != CFB_END_OF_CHAIN; cRead++)
    {
        /* A chain visits each sector once at most: a longer one loops. */
        if (cRead >= m_cSectors)
            return Fail("the directory's sector chain loops");
        if (!ReadSector(uSector, abSector.data()))
            return false;
        for (uint32_t i = 0; i < cPerSector; i++)
        {
            const uint8_t *pb = abSector.data() + i * CFB_ENTRY_SIZE;
            Entry entry = {GetU32(pb + 68),  GetU32(pb + 72),  GetU32(pb + 76),
                           GetU32(pb + 116), GetU32(pb + 120), false};
            /* Version 3 files may leave garbage in the size's high half. */
            if (m_cShift != 9)
                entry.cbSize |= uint64_t(GetU32(pb + 124)) << 32;
            if (entries.empty())
            {
                if (pb[66] != CFB_TYPE_ROOT)
                    return Fail("the directory's first entry is not the root storage");
                /* The root entry's stream is the mini stream. */
                m_MiniStream.uFirst = m_MiniStream.uSector = entry.uStart;
                m_cbMiniStream = entry.cbSize;
            }
            entry.fMatch = pb[66] == CFB_TYPE_STREAM && GetU16(pb + 64) == 2 * (cchName + 1);
            for (size_t ich = 0; entry.fMatch && ich < cchName; ich++)
                entry.fMatch = GetU16(pb + 2 * ich) == uint8_t(pszName[ich]);
            entries.push_back(entry);
        }
        if (!Next(uSector, uSector))
            return false;
    }
    if (entries.empty())
        return Fail("the directory is empty");

    /* The root storage's children: a binary tree of siblings under its child
     * link. Each entry is visited once, so a looping tree ends too. */
    fFound = false;
    std::vector<bool> afSeen(entries.size(), false);
    std::vector<uint32_t> stack = {entries[0].uChild};
    while (!stack.empty())
    {
        uint32_t id = stack.back();
        stack.pop_back();
        if (id == CFB_NO_STREAM)
            continue;
        if (id >= entries.size() || id == 0 || afSeen[id])
            return Fail("the directory's tree is malformed");
        afSeen[id] = true;
        if (entries[id].fMatch)
        {
            fFound = true;
            uFirst = entries[id].uStart;
            cbStream = entries[id].cbSize;
            break;
        }
        stack.push_back(entries[id].uLeft);
        stack.push_back(entries[id].uRight);
    }
    return true;
}

bool CfbReader::ReadStream(uint32_t uFirst, uint64_t cbStream, std::vector<uint8_t> &ab)
{
    ab.resize(size_t(cbStream));
    std::vector<uint8_t> abSector(m_cbSector);
    if (cbStream >= m_cbMiniCutoff)
    {
        ChainCursor cursor;
        cursor.uFirst = cursor.uSector = uFirst;
        for (uint64_t off = 0; off < cbStream; off += m_cbSector)
        {
            if (!Seek(cursor, uint32_t(off >> m_cShift)) || !ReadSector(cursor.uSector, abSector.data()))
                return false;
            size_t cb = size_t(cbStream - off < m_cbSector ? cbStream - off : m_cbSector);
            memcpy(ab.data() + off, abSector.data(), cb);
        }
        return true;
    }
    /* A small stream lies in 64-byte mini sectors of the mini stream. */
    const uint32_t cbMini = 64;
    uint32_t uMini = uFirst;
    for (uint64_t off = 0; off < cbStream; off += cbMini)
    {
        uint64_t offMini = uint64_t(uMini) * cbMini;
        if (uMini > CFB_MAX_REGULAR || offMini + cbMini > m_cbMiniStream)
            return Fail("a mini sector lies past the end of the mini stream");
        if (!Seek(m_MiniStream, uint32_t(offMini >> m_cShift)) || !ReadSector(m_MiniStream.uSector, abSector.data()))
            return false;
        size_t cb = size_t(cbStream - off < cbMini ? cbStream - off : cbMini);
        memcpy(ab.data() + off, abSector.data() + (offMini & (m_cbSector - 1)), cb);
        if (off + cbMini < cbStream && !MiniNext(uMini, uMini))
            return false;
    }
    return true;
}

bool FileRead(void *pvUser, uint64_t off, void *pv, size_t cb)
{
    FILE *pFile = static_cast<FILE *>(pvUser);
    return fseeko64(pFile, int64_t(off), SEEK_SET) == 0 && fread(pv, 1, cb, pFile) == cb;
}

} // namespace

PackMsiSource PackMsiFileSource(FILE *pFile, uint64_t cbSize)
{
    return PackMsiSource{FileRead, pFile, cbSize};
}

bool PackMsiReadStream(const PackMsiSource &source, const char *pszName, size_t cbMax, std::vector<uint8_t> &abStream,
                       bool &fFound, std::string &strError)
{
    abStream.clear();
    fFound = false;
    CfbReader reader(source, strError);
    uint32_t uFirst = CFB_END_OF_CHAIN;
    uint64_t cbStream = 0;
    if (!reader.Open() || !reader.FindRootStream(pszName, uFirst, cbStream, fFound))
        return false;
    if (!fFound)
        return true;
    if (cbStream > cbMax || cbStream > source.cbSize)
    {
        strError = "its stream " + std::string(pszName[0] == '\005' ? pszName + 1 : pszName) + " is too large";
        return false;
    }
    return reader.ReadStream(uFirst, cbStream, abStream);
}

bool PackMsiReadTemplate(const PackMsiSource &source, std::string &strTemplate, std::string &strError)
{
    strTemplate.clear();
    std::vector<uint8_t> ab;
    bool fFound;
    if (!PackMsiReadStream(source, "\005SummaryInformation", 1 << 20, ab, fFound, strError))
        return false;
    if (!fFound)
        return true;
    /* A property set: byte order, version, system, class, the number of
     * sections, then each section's format id and offset. The summary
     * information's properties are in the first section. */
    strError = "its summary information is malformed";
    if (ab.size() < 48 || GetU16(ab.data()) != 0xFFFE || GetU32(ab.data() + 24) < 1)
        return false;
    uint32_t offSection = GetU32(ab.data() + 44);
    if (offSection > ab.size() || ab.size() - offSection < 8)
        return false;
    const uint8_t *pbSection = ab.data() + offSection;
    size_t cbSection = ab.size() - offSection;
    uint32_t cProperties = GetU32(pbSection + 4);
    if (cProperties > (cbSection - 8) / 8)
        return false;
    uint32_t uCodePage = 0;
    const uint8_t *pbTemplate = nullptr;
    size_t cbTemplate = 0;
    for (uint32_t i = 0; i < cProperties; i++)
    {
        uint32_t uPid = GetU32(pbSection + 8 + 8 * i);
        uint32_t off = GetU32(pbSection + 12 + 8 * i);
        if (off > cbSection || cbSection - off < 8)
            return false;
        const uint8_t *pb = pbSection + off;
        uint32_t uType = GetU32(pb);
        if (uPid == 1 && uType == 2 /* VT_I2 */)
            uCodePage = GetU16(pb + 4);
        else if (uPid == 7)
        {
            uint32_t cb = GetU32(pb + 4);
            if (uType != 30 /* VT_LPSTR */ || cb > cbSection - off - 8)
                return false;
            pbTemplate = pb + 8;
            /* The count includes the terminator; stop at the first NUL. */
            cbTemplate = strnlen(reinterpret_cast<const char *>(pbTemplate), cb);
        }
    }
    strError.clear();
    for (size_t i = 0; i < cbTemplate; i++)
    {
        uint8_t b = pbTemplate[i];
        if (b < 0x80 || uCodePage == 65001)
            strTemplate += char(b);
        else
        {
            /* Other code pages: their upper half shown as Latin-1 (the
             * platforms the launcher knows are ASCII). */
            strTemplate += char(0xC0 | (b >> 6));
            strTemplate += char(0x80 | (b & 0x3F));
        }
    }
    return true;
}
