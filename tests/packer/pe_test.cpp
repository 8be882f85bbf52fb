/* The launcher stub check and the launcher written from it, on small PE32
 * and PE32+ images built here: the refusals, the headers after packing,
 * and every resource found back the way the Windows loader looks it up. */
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "embedded.h"
#include "os.h"
#include "pe.h"
#include "resources.h"

namespace
{

uint32_t Get32(const std::vector<uint8_t> &ab, size_t off)
{
    return (uint32_t)ab[off] | (uint32_t)ab[off + 1] << 8 | (uint32_t)ab[off + 2] << 16 | (uint32_t)ab[off + 3] << 24;
}

uint16_t Get16(const std::vector<uint8_t> &ab, size_t off)
{
    return (uint16_t)(ab[off] | ab[off + 1] << 8);
}

void Set32(std::vector<uint8_t> &ab, size_t off, uint32_t u)
{
    for (unsigned i = 0; i < 4; i++)
        ab[off + i] = (uint8_t)(u >> (8 * i));
}

void Set16(std::vector<uint8_t> &ab, size_t off, uint16_t u)
{
    ab[off] = (uint8_t)u;
    ab[off + 1] = (uint8_t)(u >> 8);
}

/* The layout of the images made here. */
constexpr uint32_t kPe = 0x80, kOptional = kPe + 24;

uint32_t OptionalSize(uint16_t uMachine)
{
    return uMachine == PACK_MACHINE_X86 ? 96 + 16 * 8 : 112 + 16 * 8;
}

uint32_t Directories(uint16_t uMachine)
{
    return kOptional + OptionalSize(uMachine) - 16 * 8;
}

uint32_t SectionTable(uint16_t uMachine)
{
    return kOptional + OptionalSize(uMachine);
}

/** A minimal image as a linker leaves it: ".text" and ".mdstub" (with the
 *  marker), 0x200 file and 0x1000 section alignment, 0x400 bytes of
 *  headers, and cbTrailer bytes beyond the last section (an unstripped
 *  image's COFF symbol table). */
std::vector<uint8_t> MakeStub(uint16_t uMachine, size_t cbTrailer = 0)
{
    std::vector<uint8_t> ab(0x800 + cbTrailer, 0);
    ab[0] = 'M';
    ab[1] = 'Z';
    Set32(ab, 0x3c, kPe);
    memcpy(&ab[kPe], "PE\0\0", 4);
    Set16(ab, kPe + 4, uMachine);
    Set16(ab, kPe + 6, 2);
    Set16(ab, kPe + 20, (uint16_t)OptionalSize(uMachine));
    Set16(ab, kOptional, uMachine == PACK_MACHINE_X86 ? 0x10b : 0x20b);
    Set32(ab, kOptional + 8, 0x200);   /* SizeOfInitializedData */
    Set32(ab, kOptional + 32, 0x1000); /* SectionAlignment */
    Set32(ab, kOptional + 36, 0x200);  /* FileAlignment */
    Set32(ab, kOptional + 56, 0x3000); /* SizeOfImage */
    Set32(ab, kOptional + 60, 0x400);  /* SizeOfHeaders */
    Set32(ab, Directories(uMachine) - 4, 16);
    const struct
    {
        const char *pszName;
        uint32_t uRva, offRaw;
    } aSections[] = {{".text", 0x1000, 0x400}, {".mdstub", 0x2000, 0x600}};
    for (unsigned i = 0; i < 2; i++)
    {
        size_t off = SectionTable(uMachine) + 40 * i;
        memcpy(&ab[off], aSections[i].pszName, strlen(aSections[i].pszName));
        Set32(ab, off + 8, 0x100);
        Set32(ab, off + 12, aSections[i].uRva);
        Set32(ab, off + 16, 0x200);
        Set32(ab, off + 20, aSections[i].offRaw);
    }
    memset(&ab[0x400], 0xc3, 0x100);
    memcpy(&ab[0x600], g_szPackStubMarker, strlen(g_szPackStubMarker));
    for (size_t i = 0; i < cbTrailer; i++)
        ab[0x800 + i] = (uint8_t)(i * 7 + 1);
    return ab;
}

TEST(PackStub, RefusesWhatIsNoStub)
{
    const uint32_t offTable64 = SectionTable(PACK_MACHINE_X86_64);
    struct Case
    {
        const char *pszWhat;
        std::function<void(std::vector<uint8_t> &)> mutate;
        uint16_t uMachine; /* the one asked for */
        const char *pszMessage;
    } const aCases[] = {
        {"a text file", [](std::vector<uint8_t> &ab) { ab.assign(100, 'x'); }, PACK_MACHINE_X86_64,
         "'stub.exe' is not a PE file (no MZ header)"},
        {"an MZ header alone", [](std::vector<uint8_t> &ab) { ab[kPe] = 'N'; }, PACK_MACHINE_X86_64,
         "'stub.exe' is not a PE file (an MZ header without a PE header)"},
        {"a PE offset beyond the file", [](std::vector<uint8_t> &ab) { Set32(ab, 0x3c, 0xfffffff0); },
         PACK_MACHINE_X86_64, "is not a PE file"},
        {"the other architecture", nullptr, PACK_MACHINE_X86,
         "'stub.exe' is a launcher stub for x86-64, but the launcher is to be for x86 (--arch)"},
        {"an ARM64 image", [](std::vector<uint8_t> &ab) { Set16(ab, kPe + 4, 0xaa64); }, PACK_MACHINE_X86_64,
         "'stub.exe' is not a launcher stub: a PE image for machine 0xaa64, not for x86 or x86-64"},
        {"a PE32 header on x86-64", [](std::vector<uint8_t> &ab) { Set16(ab, kOptional, 0x10b); }, PACK_MACHINE_X86_64,
         "its optional header is not that of a PE32+ image"},
        {"no marker section", [=](std::vector<uint8_t> &ab) { memcpy(&ab[offTable64 + 40], ".data\0\0", 8); },
         PACK_MACHINE_X86_64, "'stub.exe' is not a launcher stub: a PE image without the launcher's marker section"},
        {"another marker text", [](std::vector<uint8_t> &ab) { ab[0x600 + 21] = '2'; }, PACK_MACHINE_X86_64,
         "a PE image without the launcher's marker section"},
        {"resources", [](std::vector<uint8_t> &ab) { Set32(ab, Directories(PACK_MACHINE_X86_64) + 16, 0x2000); },
         PACK_MACHINE_X86_64, "'stub.exe' is not a launcher stub: it has resources already"},
        {"a signature", [](std::vector<uint8_t> &ab) { Set32(ab, Directories(PACK_MACHINE_X86_64) + 36, 0x10); },
         PACK_MACHINE_X86_64, "'stub.exe' is not a launcher stub: it is signed"},
        {"a section beyond the file", [=](std::vector<uint8_t> &ab) { Set32(ab, offTable64 + 40 + 16, 0x10000); },
         PACK_MACHINE_X86_64, "its section #1 lies beyond the end of the file"},
        {"headers ending at the section table",
         [=](std::vector<uint8_t> &ab) { Set32(ab, kOptional + 60, offTable64 + 80); }, PACK_MACHINE_X86_64,
         "its headers leave no room for another section"},
        {"a used slot after the section table", [=](std::vector<uint8_t> &ab) { ab[offTable64 + 80] = '.'; },
         PACK_MACHINE_X86_64, "its headers leave no room for another section"},
    };
    for (const Case &c : aCases)
    {
        std::vector<uint8_t> ab = MakeStub(PACK_MACHINE_X86_64);
        if (c.mutate)
            c.mutate(ab);
        PackStub stub;
        std::string strError;
        EXPECT_FALSE(PackCheckStub("stub.exe", std::move(ab), c.uMachine, stub, strError)) << c.pszWhat;
        EXPECT_NE(strError.find(c.pszMessage), std::string::npos) << c.pszWhat << ": " << strError;
    }
    for (uint16_t uMachine : {PACK_MACHINE_X86, PACK_MACHINE_X86_64})
    {
        PackStub stub;
        std::string strError;
        EXPECT_TRUE(PackCheckStub("stub.exe", MakeStub(uMachine), uMachine, stub, strError)) << strError;
    }
}

/** Collects the launcher's bytes. */
class MemorySink : public PackFileSink
{
  public:
    bool write(const void *pv, size_t cb) override
    {
        m_ab.insert(m_ab.end(), (const uint8_t *)pv, (const uint8_t *)pv + cb);
        return true;
    }
    bool patch(uint64_t offFile, const uint8_t abBytes[4]) override
    {
        memcpy(&m_ab[offFile], abBytes, 4);
        return true;
    }
    std::vector<uint8_t> m_ab;
};

/** A file of the test's own, removed at the end. */
struct TempFile
{
    std::string strPath;
    TempFile(const char *pszName, const std::vector<uint8_t> &ab) : strPath(std::string(::testing::TempDir()) + pszName)
    {
        FILE *pFile = PackOpen(strPath, "wb");
        EXPECT_NE(pFile, nullptr);
        if (pFile)
        {
            fwrite(ab.data(), 1, ab.size(), pFile);
            fclose(pFile);
        }
    }
    ~TempFile()
    {
        PackRemove(strPath);
    }
};

std::vector<uint8_t> Pattern(size_t cb, uint8_t bSeed)
{
    std::vector<uint8_t> ab(cb);
    for (size_t i = 0; i < cb; i++)
        ab[i] = (uint8_t)(i * 131 + bSeed + (i >> 12));
    return ab;
}

/** The PE checksum, summed here word by word: 16-bit words added with
 *  their carries folded back in, the checksum field counted as zero, then
 *  the file's length added. */
uint32_t Checksum(const std::vector<uint8_t> &ab, size_t offField)
{
    auto byteAt = [&](size_t off) { return off >= ab.size() || (off >= offField && off < offField + 4) ? 0 : ab[off]; };
    uint64_t uSum = 0;
    for (size_t off = 0; off < ab.size(); off += 2)
    {
        uSum += byteAt(off) | byteAt(off + 1) << 8;
        uSum = (uSum & 0xffff) + (uSum >> 16);
    }
    return (uint32_t)(uSum + ab.size());
}

/** The file offset of an RVA by the image's section table; 0 if none. */
uint64_t FileOffset(const std::vector<uint8_t> &ab, uint32_t uRva, uint32_t cb)
{
    uint32_t offPe = Get32(ab, 0x3c);
    uint32_t offTable = offPe + 24 + Get16(ab, offPe + 20);
    for (unsigned i = 0; i < Get16(ab, offPe + 6); i++)
    {
        uint32_t off = offTable + 40 * i;
        uint32_t uVa = Get32(ab, off + 12), cbRaw = Get32(ab, off + 16), offRaw = Get32(ab, off + 20);
        if (uRva >= uVa && (uint64_t)uRva + cb <= (uint64_t)uVa + cbRaw)
            return offRaw + (uRva - uVa);
    }
    return 0;
}

/** One level of the resource tree searched as the loader does: a binary
 *  search of the named entries, then of the numbered ones; the offset of
 *  the entry's target (high bit cleared), or -1 when there is none. A tree
 *  that is not sorted loses entries here as it does on Windows. */
int64_t SearchLevel(const std::vector<uint8_t> &ab, uint64_t offRsrc, uint32_t offTable, const PackResId &id)
{
    uint64_t off = offRsrc + offTable;
    unsigned cNamed = Get16(ab, off + 12), cIds = Get16(ab, off + 14);
    unsigned iLow = id.strName.empty() ? cNamed : 0, iHigh = id.strName.empty() ? cNamed + cIds : cNamed;
    while (iLow < iHigh)
    {
        unsigned iMid = (iLow + iHigh) / 2;
        uint64_t offEntry = off + 16 + 8 * iMid;
        uint32_t uWord = Get32(ab, offEntry);
        int iCmp;
        if (id.strName.empty())
            iCmp = (int)id.uId - (int)uWord;
        else
        {
            uint64_t offName = offRsrc + (uWord & 0x7fffffff);
            std::string strName;
            for (unsigned i = 0; i < Get16(ab, offName); i++)
                strName += (char)Get16(ab, offName + 2 + 2 * i);
            iCmp = id.strName.compare(strName);
        }
        if (iCmp == 0)
            return Get32(ab, offEntry + 4) & 0x7fffffff;
        if (iCmp < 0)
            iHigh = iMid;
        else
            iLow = iMid + 1;
    }
    return -1;
}

/** Finds a resource's data in a launcher: its file offset and size; false
 *  when the lookup fails. */
bool FindResource(const std::vector<uint8_t> &ab, const PackResource &res, uint64_t &offData, uint32_t &cbData)
{
    uint32_t offPe = Get32(ab, 0x3c);
    uint32_t offDirs = offPe + 24 + (Get16(ab, offPe + 24) == 0x20b ? 112 : 96);
    uint32_t uRsrc = Get32(ab, offDirs + 16);
    uint64_t offRsrc = FileOffset(ab, uRsrc, Get32(ab, offDirs + 20));
    if (!offRsrc)
        return false;
    PackResId langId;
    langId.uId = res.uLang;
    const PackResId &lang = langId;
    int64_t off = 0;
    for (const PackResId *pId : {&res.Type, &res.Name, &lang})
    {
        off = SearchLevel(ab, offRsrc, (uint32_t)off, *pId);
        if (off < 0)
            return false;
    }
    cbData = Get32(ab, offRsrc + off + 4);
    offData = FileOffset(ab, Get32(ab, offRsrc + off), cbData);
    return offData != 0;
}

/** The launcher's resources for two packages (one larger than a copy
 *  piece, of an odd size) and the default identity. */
struct Payload
{
    TempFile big{"pe_test_big.msi", Pattern(PACK_COPY_CHUNK * 2 + 12345, 1)};
    TempFile small{"pe_test_small.cab", Pattern(3, 2)};
    std::vector<PackPackage> packages;
    std::vector<PackResource> resources;

    Payload()
    {
        for (const TempFile *pFile : {&big, &small})
        {
            PackPackage pkg;
            pkg.strPath = pFile->strPath;
            PackPathQuery(pkg.strPath, &pkg.cbSize);
            pkg.strResource = packages.empty() ? "BIN_00" : "BIN_01";
            pkg.abHeader = Pattern(256, (uint8_t)packages.size());
            packages.push_back(pkg);
        }
        PackAddContainerResources(packages, {Pattern(300, 9)}, "", 0, resources);
        PackIdentity identity;
        identity.strProductName = "Marrowdale Installer";
        identity.strProductInSentences = "Marrowdale";
        identity.strVersionText = "7.2.0";
        identity.strMutexName = "QuorStubInstaller";
        identity.strExecutionLevel = "asInvoker";
        identity.strFileName = "setup.exe";
        identity.abIcon.assign(g_abPackDefaultIcon, g_abPackDefaultIcon + g_abPackDefaultIconSize);
        std::string strError;
        EXPECT_TRUE(PackAddIdentityResources(identity, resources, strError)) << strError;
    }
};

std::vector<uint8_t> Pack(const std::vector<uint8_t> &abStub, uint16_t uMachine,
                          const std::vector<PackResource> &resources)
{
    PackStub stub;
    std::string strError;
    EXPECT_TRUE(PackCheckStub("stub.exe", std::vector<uint8_t>(abStub), uMachine, stub, strError)) << strError;
    MemorySink sink;
    EXPECT_TRUE(PackWriteLauncher(stub, resources, sink, strError)) << strError;
    return sink.m_ab;
}

TEST(PackLauncher, HeadersDescribeTheAppendedSection)
{
    Payload payload;
    for (uint16_t uMachine : {PACK_MACHINE_X86, PACK_MACHINE_X86_64})
    {
        SCOPED_TRACE(PackMachineName(uMachine));
        /* 0x1345 bytes of symbols after the last section: the new section
           goes after them. */
        std::vector<uint8_t> abStub = MakeStub(uMachine, 0x1345);
        std::vector<uint8_t> ab = Pack(abStub, uMachine, payload.resources);
        ASSERT_GT(ab.size(), abStub.size());
        uint32_t offNew = SectionTable(uMachine) + 80;
        EXPECT_EQ(Get16(ab, kPe + 6), 3);
        EXPECT_EQ(memcmp(&ab[offNew], ".rsrc\0\0\0", 8), 0);
        uint32_t cbVirtual = Get32(ab, offNew + 8), uRva = Get32(ab, offNew + 12);
        uint32_t cbRaw = Get32(ab, offNew + 16), offRaw = Get32(ab, offNew + 20);
        EXPECT_EQ(uRva, 0x3000u);
        EXPECT_EQ(offRaw, 0x2000u); /* after the symbols, at a page */
        EXPECT_EQ(cbRaw % 0x200, 0u);
        EXPECT_GE(cbRaw, cbVirtual);
        EXPECT_EQ(Get32(ab, offNew + 36), 0x40000040u);
        EXPECT_EQ(ab.size(), (size_t)offRaw + cbRaw);
        EXPECT_EQ(Get32(ab, kOptional + 56), (uRva + cbVirtual + 0xfff) & ~0xfffu);
        EXPECT_EQ(Get32(ab, kOptional + 8), 0x200 + cbRaw);
        EXPECT_EQ(Get32(ab, Directories(uMachine) + 16), uRva);
        EXPECT_EQ(Get32(ab, Directories(uMachine) + 20), cbVirtual);
        uint32_t uChecksum = Get32(ab, kOptional + 64);
        EXPECT_NE(uChecksum, 0u);
        EXPECT_EQ(uChecksum, Checksum(ab, kOptional + 64));
        /* The stub's sections and symbols are there unchanged. */
        EXPECT_TRUE(std::equal(abStub.begin() + 0x400, abStub.end(), ab.begin() + 0x400));
        EXPECT_EQ(ab, Pack(abStub, uMachine, payload.resources)) << "the same inputs give other bytes";
    }
}

TEST(PackLauncher, LoaderFindsEveryResource)
{
    Payload payload;
    std::vector<uint8_t> ab = Pack(MakeStub(PACK_MACHINE_X86_64), PACK_MACHINE_X86_64, payload.resources);
    for (const PackResource &res : payload.resources)
    {
        std::string strWhat = (res.Type.strName.empty() ? std::to_string(res.Type.uId) : res.Type.strName) + "/" +
                              (res.Name.strName.empty() ? std::to_string(res.Name.uId) : res.Name.strName);
        uint64_t offData = 0;
        uint32_t cbData = 0;
        ASSERT_TRUE(FindResource(ab, res, offData, cbData)) << strWhat;
        std::vector<uint8_t> abWant = res.abData;
        if (!res.strFile.empty())
        {
            abWant = res.strFile == payload.big.strPath ? Pattern(PACK_COPY_CHUNK * 2 + 12345, 1) : Pattern(3, 2);
            /* The launcher writes packages from page-aligned views. */
            EXPECT_EQ(offData % 4096, 0u) << strWhat;
        }
        ASSERT_EQ(cbData, abWant.size()) << strWhat;
        EXPECT_TRUE(std::equal(abWant.begin(), abWant.end(), ab.begin() + (ptrdiff_t)offData)) << strWhat;
    }
}

TEST(PackLauncher, RefusesWhatTheSectionCannotHold)
{
    Payload payload;
    PackStub stub;
    std::string strError;
    ASSERT_TRUE(PackCheckStub("stub.exe", MakeStub(PACK_MACHINE_X86_64), PACK_MACHINE_X86_64, stub, strError));
    struct Case
    {
        const char *pszWhat;
        std::function<void(std::vector<PackResource> &)> mutate;
        const char *pszMessage;
    } const aCases[] = {
        {"two CERTS", [](std::vector<PackResource> &r) { r.push_back(r[5]); },
         "two resources of type 10, name \"CERTS\" and language 1033"},
        {"a package that grew", [](std::vector<PackResource> &r) { r[2].cbFile -= 1; },
         "it became longer while packing"},
        {"a package that shrank", [](std::vector<PackResource> &r) { r[2].cbFile += 1; },
         "it became shorter while packing"},
        {"more than 4 GiB", [](std::vector<PackResource> &r) { r[2].cbFile = (uint64_t)1 << 32; },
         "do not fit a PE image's 4 GiB"},
    };
    for (const Case &c : aCases)
    {
        std::vector<PackResource> resources = payload.resources;
        c.mutate(resources);
        MemorySink sink;
        strError.clear();
        EXPECT_FALSE(PackWriteLauncher(stub, resources, sink, strError)) << c.pszWhat;
        EXPECT_NE(strError.find(c.pszMessage), std::string::npos) << c.pszWhat << ": " << strError;
    }
}

} // namespace
