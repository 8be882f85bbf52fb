/** @file
 * The launcher stub as a PE image.
 */
#include "pe.h"

#include <cstring>

const char g_szPackStubMarker[] = "MarrowdaleLauncherStub/1";

/* Offsets in the PE headers. */
enum : uint32_t
{
    PACK_COFF_MACHINE = 4, /* from the "PE\0\0" signature */
    PACK_COFF_SECTION_COUNT = 6,
    PACK_COFF_OPTIONAL_SIZE = 20,
    PACK_OPT_MAGIC = 0, /* from the optional header */
    PACK_OPT_INITIALIZED_DATA = 8,
    PACK_OPT_SECTION_ALIGNMENT = 32,
    PACK_OPT_FILE_ALIGNMENT = 36,
    PACK_OPT_SIZE_OF_IMAGE = 56,
    PACK_OPT_SIZE_OF_HEADERS = 60,
    PACK_OPT_CHECKSUM = 64,
    PACK_SECTION_HEADER_SIZE = 40,
    PACK_DIR_RESOURCE = 2,
    PACK_DIR_SECURITY = 4,
};

static uint16_t packGet16(const std::vector<uint8_t> &ab, size_t off)
{
    return (uint16_t)(ab[off] | ab[off + 1] << 8);
}

static uint32_t packGet32(const std::vector<uint8_t> &ab, size_t off)
{
    return (uint32_t)ab[off] | (uint32_t)ab[off + 1] << 8 | (uint32_t)ab[off + 2] << 16 | (uint32_t)ab[off + 3] << 24;
}

static void packSet32(std::vector<uint8_t> &ab, size_t off, uint32_t u)
{
    for (unsigned i = 0; i < 4; i++)
        ab[off + i] = (uint8_t)(u >> (8 * i));
}

static uint64_t packAlignUp(uint64_t off, uint64_t cbAlign)
{
    return (off + cbAlign - 1) / cbAlign * cbAlign;
}

std::string PackMachineName(uint16_t uMachine)
{
    switch (uMachine)
    {
        case PACK_MACHINE_X86: return "x86";
        case PACK_MACHINE_X86_64: return "x86-64";
    }
    char szHex[16];
    snprintf(szHex, sizeof(szHex), "0x%x", uMachine);
    return std::string("machine ") + szHex;
}

bool PackCheckStub(const std::string &strPath, std::vector<uint8_t> &&abImage, uint16_t uMachine, PackStub &stub,
                   std::string &strError)
{
    stub = PackStub();
    const std::string strWho = "'" + strPath + "'";
    const std::vector<uint8_t> &ab = abImage;
    size_t cb = ab.size();
    if (cb < 0x40 || ab[0] != 'M' || ab[1] != 'Z')
    {
        strError = strWho + " is not a PE file (no MZ header)";
        return false;
    }
    uint32_t offPe = packGet32(ab, 0x3c);
    if (offPe > cb - 24 || memcmp(&ab[offPe], "PE\0\0", 4) != 0)
    {
        strError = strWho + " is not a PE file (an MZ header without a PE header)";
        return false;
    }
    uint16_t uFound = packGet16(ab, offPe + PACK_COFF_MACHINE);
    uint32_t offOptional = offPe + 24;
    uint16_t cbOptional = packGet16(ab, offPe + PACK_COFF_OPTIONAL_SIZE);
    uint16_t cSections = packGet16(ab, offPe + PACK_COFF_SECTION_COUNT);
    if (uFound != PACK_MACHINE_X86 && uFound != PACK_MACHINE_X86_64)
    {
        strError =
            strWho + " is not a launcher stub: a PE image for " + PackMachineName(uFound) + ", not for x86 or x86-64";
        return false;
    }
    if (uFound != uMachine)
    {
        strError = strWho + " is a launcher stub for " + PackMachineName(uFound) + ", but the launcher is to be for " +
                   PackMachineName(uMachine) + " (--arch)";
        return false;
    }
    /* PE32 for x86, PE32+ for x86-64: the data directories follow the
       fixed fields, whose size differs between the two. */
    uint16_t uMagicWanted = uFound == PACK_MACHINE_X86 ? 0x10b : 0x20b;
    uint32_t offDirectoryCount = offOptional + (uFound == PACK_MACHINE_X86 ? 92 : 108);
    if ((uint64_t)offOptional + cbOptional > cb || cbOptional < offDirectoryCount + 4 - offOptional ||
        packGet16(ab, offOptional + PACK_OPT_MAGIC) != uMagicWanted)
    {
        strError = strWho + " is not a launcher stub: its optional header is not that of a " +
                   (uFound == PACK_MACHINE_X86 ? "PE32" : "PE32+") + " image";
        return false;
    }
    uint32_t cDirectories = packGet32(ab, offDirectoryCount);
    uint32_t offDirectories = offDirectoryCount + 4;
    if (cDirectories > 16 || offDirectories + 8 * cDirectories > offOptional + cbOptional ||
        cDirectories <= PACK_DIR_SECURITY)
    {
        strError = strWho + " is not a launcher stub: its optional header has " + std::to_string(cDirectories) +
                   " data directories";
        return false;
    }
    uint32_t offSections = offOptional + cbOptional;
    uint32_t uSectionAlignment = packGet32(ab, offOptional + PACK_OPT_SECTION_ALIGNMENT);
    uint32_t uFileAlignment = packGet32(ab, offOptional + PACK_OPT_FILE_ALIGNMENT);
    uint32_t cbHeaders = packGet32(ab, offOptional + PACK_OPT_SIZE_OF_HEADERS);
    bool fPowerOfTwo = uFileAlignment >= 512 && uFileAlignment <= 65536 && !(uFileAlignment & (uFileAlignment - 1)) &&
                       uSectionAlignment >= uFileAlignment && !(uSectionAlignment & (uSectionAlignment - 1));
    if (!fPowerOfTwo || (uint64_t)offSections + (uint64_t)PACK_SECTION_HEADER_SIZE * cSections > cb || cbHeaders > cb)
    {
        strError = strWho + " is not a launcher stub: its headers do not fit the file";
        return false;
    }

    bool fMarker = false;
    uint32_t offFirstRaw = UINT32_MAX;
    for (uint16_t i = 0; i < cSections; i++)
    {
        uint32_t offHeader = offSections + PACK_SECTION_HEADER_SIZE * i;
        uint32_t cbRaw = packGet32(ab, offHeader + 16), offRaw = packGet32(ab, offHeader + 20);
        if (cbRaw && (uint64_t)offRaw + cbRaw > cb)
        {
            strError = strWho + " is not a launcher stub: its section #" + std::to_string(i) +
                       " lies beyond the end of the file";
            return false;
        }
        if (cbRaw && offRaw < offFirstRaw)
            offFirstRaw = offRaw;
        if (memcmp(&ab[offHeader], ".mdstub\0", 8) == 0 && cbRaw >= sizeof(g_szPackStubMarker) - 1 &&
            memcmp(&ab[offRaw], g_szPackStubMarker, sizeof(g_szPackStubMarker) - 1) == 0)
            fMarker = true;
    }
    if (!fMarker)
    {
        strError = strWho + " is not a launcher stub: a PE image without the launcher's marker section";
        return false;
    }
    if (packGet32(ab, offDirectories + 8 * PACK_DIR_RESOURCE) ||
        packGet32(ab, offDirectories + 8 * PACK_DIR_RESOURCE + 4))
    {
        strError = strWho + " is not a launcher stub: it has resources already (a launcher made from a stub?)";
        return false;
    }
    if (packGet32(ab, offDirectories + 8 * PACK_DIR_SECURITY) ||
        packGet32(ab, offDirectories + 8 * PACK_DIR_SECURITY + 4))
    {
        strError = strWho + " is not a launcher stub: it is signed (it has a certificate table)";
        return false;
    }
    /* The new section's header goes right after the table; it must still lie
       within the headers, before any section's data, and be unused. */
    uint32_t offNewHeader = offSections + PACK_SECTION_HEADER_SIZE * cSections;
    bool fRoom =
        offNewHeader + PACK_SECTION_HEADER_SIZE <= cbHeaders && offNewHeader + PACK_SECTION_HEADER_SIZE <= offFirstRaw;
    for (uint32_t off = offNewHeader; fRoom && off < offNewHeader + PACK_SECTION_HEADER_SIZE; off++)
        fRoom = ab[off] == 0;
    if (!fRoom)
    {
        strError = strWho + " is not a launcher stub: its headers leave no room for another section";
        return false;
    }

    stub.uMachine = uFound;
    stub.offPe = offPe;
    stub.offOptional = offOptional;
    stub.offSections = offSections;
    stub.cSections = cSections;
    stub.uSectionAlignment = uSectionAlignment;
    stub.uFileAlignment = uFileAlignment;
    stub.offDataDirectories = offDirectories;
    stub.cDataDirectories = cDirectories;
    stub.abImage = std::move(abImage);
    return true;
}

/** The PE checksum as the data goes by: 16-bit little-endian words added
 *  with end-around carry, then the file's length added. */
class PackChecksum
{
  public:
    void add(const uint8_t *pb, size_t cb)
    {
        for (size_t i = 0; i < cb; i++)
        {
            m_uSum += (uint32_t)pb[i] << (m_cbTotal & 1 ? 8 : 0);
            m_cbTotal++;
            /* Folding every other byte keeps the sum below 2^17. */
            if (!(m_cbTotal & 1))
                m_uSum = (m_uSum & 0xffff) + (m_uSum >> 16);
        }
    }
    uint32_t result() const
    {
        uint32_t uSum = (m_uSum & 0xffff) + (m_uSum >> 16);
        uSum = (uSum & 0xffff) + (uSum >> 16);
        return uSum + (uint32_t)m_cbTotal;
    }

  private:
    uint32_t m_uSum = 0;
    uint64_t m_cbTotal = 0;
};

/** Passes the data on and sums it. */
class PackChecksumSink : public PackSink
{
  public:
    explicit PackChecksumSink(PackSink &next) : m_next(next)
    {
    }
    bool write(const void *pv, size_t cb) override
    {
        m_sum.add((const uint8_t *)pv, cb);
        return m_next.write(pv, cb);
    }
    uint32_t result() const
    {
        return m_sum.result();
    }

  private:
    PackSink &m_next;
    PackChecksum m_sum;
};

bool PackWriteLauncher(const PackStub &stub, const std::vector<PackResource> &resources, PackFileSink &sink,
                       std::string &strError)
{
    std::vector<uint8_t> abHeaders(stub.abImage);
    uint32_t uEndOfImage = 0;
    for (uint16_t i = 0; i < stub.cSections; i++)
    {
        uint32_t offHeader = stub.offSections + PACK_SECTION_HEADER_SIZE * i;
        uint32_t cbVirtual = packGet32(abHeaders, offHeader + 8), uRva = packGet32(abHeaders, offHeader + 12);
        uint32_t cbRaw = packGet32(abHeaders, offHeader + 16);
        uint64_t uEnd = (uint64_t)uRva + (cbVirtual > cbRaw ? cbVirtual : cbRaw);
        if (uEnd > uEndOfImage)
            uEndOfImage = (uint32_t)(uEnd > UINT32_MAX ? UINT32_MAX : uEnd);
    }
    uint32_t uSizeOfImage = packGet32(abHeaders, stub.offOptional + PACK_OPT_SIZE_OF_IMAGE);
    if (uSizeOfImage > uEndOfImage)
        uEndOfImage = uSizeOfImage;
    uint64_t uRva = packAlignUp(uEndOfImage, stub.uSectionAlignment);
    /* Page-aligned data needs the section's file offset (and its RVA, by
       the section alignment) at a page boundary too. */
    uint64_t cbPage = stub.uFileAlignment > 4096 ? stub.uFileAlignment : 4096;
    uint64_t offRaw = packAlignUp(stub.abImage.size(), cbPage);
    if (uRva > UINT32_MAX)
    {
        strError = "the stub's sections end at the top of the address space";
        return false;
    }
    PackResourceLayout layout;
    if (!PackLayoutResources(resources, (uint32_t)uRva, layout, strError))
        return false;
    uint64_t cbRaw = packAlignUp(layout.cbSection, stub.uFileAlignment);
    uint64_t uNewSizeOfImage = packAlignUp(uRva + layout.cbSection, stub.uSectionAlignment);
    uint64_t cbInitialized = packGet32(abHeaders, stub.offOptional + PACK_OPT_INITIALIZED_DATA) + cbRaw;
    if (uNewSizeOfImage > UINT32_MAX || offRaw + cbRaw > UINT32_MAX || cbInitialized > UINT32_MAX)
    {
        strError = "the launcher would be larger than a PE image can be (4 GiB)";
        return false;
    }

    uint32_t offHeader = stub.offSections + PACK_SECTION_HEADER_SIZE * stub.cSections;
    memcpy(&abHeaders[offHeader], ".rsrc\0\0\0", 8);
    packSet32(abHeaders, offHeader + 8, (uint32_t)layout.cbSection);
    packSet32(abHeaders, offHeader + 12, (uint32_t)uRva);
    packSet32(abHeaders, offHeader + 16, (uint32_t)cbRaw);
    packSet32(abHeaders, offHeader + 20, (uint32_t)offRaw);
    /* IMAGE_SCN_CNT_INITIALIZED_DATA | IMAGE_SCN_MEM_READ */
    packSet32(abHeaders, offHeader + 36, 0x40000040);
    abHeaders[stub.offPe + PACK_COFF_SECTION_COUNT] = (uint8_t)(stub.cSections + 1);
    abHeaders[stub.offPe + PACK_COFF_SECTION_COUNT + 1] = (uint8_t)((stub.cSections + 1) >> 8);
    packSet32(abHeaders, stub.offOptional + PACK_OPT_INITIALIZED_DATA, (uint32_t)cbInitialized);
    packSet32(abHeaders, stub.offOptional + PACK_OPT_SIZE_OF_IMAGE, (uint32_t)uNewSizeOfImage);
    packSet32(abHeaders, stub.offOptional + PACK_OPT_CHECKSUM, 0);
    packSet32(abHeaders, stub.offDataDirectories + 8 * PACK_DIR_RESOURCE, (uint32_t)uRva);
    packSet32(abHeaders, stub.offDataDirectories + 8 * PACK_DIR_RESOURCE + 4, (uint32_t)layout.cbSection);

    PackChecksumSink summing(sink);
    if (!summing.write(abHeaders.data(), abHeaders.size()) || !summing.zeros(offRaw - abHeaders.size()) ||
        !PackWriteResources(resources, layout, summing, strError) || !summing.zeros(cbRaw - layout.cbSection))
        return false;
    uint32_t uChecksum = summing.result();
    uint8_t abChecksum[4] = {(uint8_t)uChecksum, (uint8_t)(uChecksum >> 8), (uint8_t)(uChecksum >> 16),
                             (uint8_t)(uChecksum >> 24)};
    return sink.patch(stub.offOptional + PACK_OPT_CHECKSUM, abChecksum);
}
