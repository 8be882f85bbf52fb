/** @file
 * The resource tree: layout and writing.
 */
#include "resources.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "os.h"

bool PackSink::zeros(uint64_t cb)
{
    static const uint8_t s_abZeros[4096] = {};
    while (cb > 0)
    {
        size_t cbNow = cb < sizeof(s_abZeros) ? (size_t)cb : sizeof(s_abZeros);
        if (!write(s_abZeros, cbNow))
            return false;
        cb -= cbNow;
    }
    return true;
}

/** Orders ids as the directory lists them: names first, by their units
 *  (ASCII, so byte order is UTF-16 order), then numbers ascending. */
static int packCompareIds(const PackResId &a, const PackResId &b)
{
    if (!a.strName.empty() || !b.strName.empty())
    {
        if (a.strName.empty())
            return 1;
        if (b.strName.empty())
            return -1;
        return a.strName.compare(b.strName);
    }
    return a.uId < b.uId ? -1 : a.uId > b.uId ? 1 : 0;
}

static bool packSameId(const PackResId &a, const PackResId &b)
{
    return packCompareIds(a, b) == 0;
}

static void packPut16(std::vector<uint8_t> &ab, size_t off, uint16_t u)
{
    ab[off] = (uint8_t)u;
    ab[off + 1] = (uint8_t)(u >> 8);
}

static void packPut32(std::vector<uint8_t> &ab, size_t off, uint32_t u)
{
    for (unsigned i = 0; i < 4; i++)
        ab[off + i] = (uint8_t)(u >> (8 * i));
}

static uint64_t packAlign(uint64_t off, uint64_t cbAlign)
{
    return (off + cbAlign - 1) & ~(cbAlign - 1);
}

static std::string packIdText(const PackResId &id)
{
    return id.strName.empty() ? std::to_string(id.uId) : "\"" + id.strName + "\"";
}

/** One table of the tree under construction: its entries' ids, and for
 *  each either a child table's index or a resource's index. */
struct PackTable
{
    std::vector<PackResId> ids;
    std::vector<size_t> targets;
    bool fLeaves = false; /**< targets are resources (the language level) */
};

bool PackLayoutResources(const std::vector<PackResource> &resources, uint32_t uRva, PackResourceLayout &layout,
                         std::string &strError)
{
    layout = PackResourceLayout();
    std::vector<size_t> order(resources.size());
    for (size_t i = 0; i < order.size(); i++)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const PackResource &ra = resources[a], &rb = resources[b];
        int iCmp = packCompareIds(ra.Type, rb.Type);
        if (iCmp == 0)
            iCmp = packCompareIds(ra.Name, rb.Name);
        if (iCmp == 0)
            return ra.uLang < rb.uLang;
        return iCmp < 0;
    });

    /* The tree: the root lists the types, each type's table its names,
       each name's table its languages. */
    std::vector<PackTable> tables(1);
    size_t iTypeTable = 0, iNameTable = 0;
    for (size_t iPos = 0; iPos < order.size(); iPos++)
    {
        const PackResource &res = resources[order[iPos]];
        const PackResource *pPrev = iPos ? &resources[order[iPos - 1]] : nullptr;
        bool fNewType = !pPrev || !packSameId(pPrev->Type, res.Type);
        bool fNewName = fNewType || !packSameId(pPrev->Name, res.Name);
        if (!fNewName && pPrev->uLang == res.uLang)
        {
            strError = "two resources of type " + packIdText(res.Type) + ", name " + packIdText(res.Name) +
                       " and language " + std::to_string(res.uLang);
            return false;
        }
        if (fNewType)
        {
            tables[0].ids.push_back(res.Type);
            tables[0].targets.push_back(tables.size());
            iTypeTable = tables.size();
            tables.emplace_back();
        }
        if (fNewName)
        {
            tables[iTypeTable].ids.push_back(res.Name);
            tables[iTypeTable].targets.push_back(tables.size());
            iNameTable = tables.size();
            tables.emplace_back();
            tables.back().fLeaves = true;
        }
        PackResId lang;
        lang.uId = res.uLang;
        tables[iNameTable].ids.push_back(lang);
        tables[iNameTable].targets.push_back(order[iPos]);
    }
    /* The tables were made interleaved; they lie root first, then the
       types' tables, then the names' tables (breadth first). */
    std::vector<size_t> tableOffsets(tables.size());
    uint64_t off = 0;
    for (int iPass = 0; iPass < 3; iPass++)
        for (size_t i = 0; i < tables.size(); i++)
        {
            int iLevel = i == 0 ? 0 : tables[i].fLeaves ? 2 : 1;
            if (iLevel != iPass)
                continue;
            tableOffsets[i] = (size_t)off;
            off += 16 + 8 * tables[i].ids.size();
        }
    uint64_t offDataEntries = off;
    off += 16 * resources.size();
    /* The names, each a length and its units. */
    std::vector<std::string> names;
    for (const PackTable &table : tables)
        for (const PackResId &id : table.ids)
            if (!id.strName.empty() && std::find(names.begin(), names.end(), id.strName) == names.end())
                names.push_back(id.strName);
    std::vector<uint64_t> nameOffsets;
    for (const std::string &strName : names)
    {
        nameOffsets.push_back(off);
        off += 2 + 2 * strName.size();
    }
    uint64_t cbDirectory = packAlign(off, 8);

    layout.aoffData.resize(resources.size());
    off = cbDirectory;
    for (size_t i = 0; i < resources.size(); i++)
    {
        const PackResource &res = resources[i];
        off = packAlign(off, res.fPageAligned ? 4096 : 8);
        layout.aoffData[i] = off;
        off += res.strFile.empty() ? res.abData.size() : res.cbFile;
    }
    layout.cbSection = off;
    if ((uint64_t)uRva + off > UINT32_MAX)
    {
        strError = "the resources (" + std::to_string(off) + " bytes) do not fit a PE image's 4 GiB";
        return false;
    }

    std::vector<uint8_t> &ab = layout.abDirectory;
    ab.assign((size_t)cbDirectory, 0);
    for (size_t i = 0; i < tables.size(); i++)
    {
        const PackTable &table = tables[i];
        size_t offTable = tableOffsets[i];
        uint16_t cNamed = 0;
        for (const PackResId &id : table.ids)
            cNamed += !id.strName.empty();
        /* Characteristics, time stamp (none: the same inputs give the same
           bytes) and version stay zero. */
        packPut16(ab, offTable + 12, cNamed);
        packPut16(ab, offTable + 14, (uint16_t)(table.ids.size() - cNamed));
        for (size_t iEntry = 0; iEntry < table.ids.size(); iEntry++)
        {
            const PackResId &id = table.ids[iEntry];
            size_t offEntry = offTable + 16 + 8 * iEntry;
            if (id.strName.empty())
                packPut32(ab, offEntry, id.uId);
            else
            {
                size_t iName = (size_t)(std::find(names.begin(), names.end(), id.strName) - names.begin());
                packPut32(ab, offEntry, 0x80000000u | (uint32_t)nameOffsets[iName]);
            }
            size_t iTarget = table.targets[iEntry];
            if (table.fLeaves)
                packPut32(ab, offEntry + 4, (uint32_t)(offDataEntries + 16 * iTarget));
            else
                packPut32(ab, offEntry + 4, 0x80000000u | (uint32_t)tableOffsets[iTarget]);
        }
    }
    for (size_t i = 0; i < resources.size(); i++)
    {
        const PackResource &res = resources[i];
        size_t offEntry = (size_t)(offDataEntries + 16 * i);
        packPut32(ab, offEntry, uRva + (uint32_t)layout.aoffData[i]);
        packPut32(ab, offEntry + 4, (uint32_t)(res.strFile.empty() ? res.abData.size() : res.cbFile));
    }
    for (size_t i = 0; i < names.size(); i++)
    {
        size_t offName = (size_t)nameOffsets[i];
        packPut16(ab, offName, (uint16_t)names[i].size());
        for (size_t iCh = 0; iCh < names[i].size(); iCh++)
            packPut16(ab, offName + 2 + 2 * iCh, (uint8_t)names[i][iCh]);
    }
    return true;
}

/** Copies a package file into the sink in fixed-size pieces; it must still
 *  have the size it was checked with. */
static bool packCopyFile(const PackResource &res, PackSink &sink, std::string &strError)
{
    FILE *pFile = PackOpen(res.strFile, "rb");
    if (!pFile)
    {
        strError = res.strFile + ": " + strerror(errno);
        return false;
    }
    std::unique_ptr<uint8_t[]> pabBuf(new uint8_t[PACK_COPY_CHUNK]);
    uint64_t cbLeft = res.cbFile;
    bool fOk = true;
    while (fOk && cbLeft > 0)
    {
        size_t cbWant = cbLeft < PACK_COPY_CHUNK ? (size_t)cbLeft : PACK_COPY_CHUNK;
        size_t cbRead = fread(pabBuf.get(), 1, cbWant, pFile);
        if (cbRead != cbWant)
        {
            strError = res.strFile + ": " + (ferror(pFile) ? strerror(errno) : "it became shorter while packing");
            fOk = false;
        }
        else if (!sink.write(pabBuf.get(), cbRead))
            fOk = false;
        cbLeft -= cbRead;
    }
    if (fOk && fgetc(pFile) != EOF)
    {
        strError = res.strFile + ": it became longer while packing";
        fOk = false;
    }
    fclose(pFile);
    return fOk;
}

bool PackWriteResources(const std::vector<PackResource> &resources, const PackResourceLayout &layout, PackSink &sink,
                        std::string &strError)
{
    if (!sink.write(layout.abDirectory.data(), layout.abDirectory.size()))
        return false;
    uint64_t off = layout.abDirectory.size();
    for (size_t i = 0; i < resources.size(); i++)
    {
        const PackResource &res = resources[i];
        if (!sink.zeros(layout.aoffData[i] - off))
            return false;
        if (res.strFile.empty())
        {
            if (!sink.write(res.abData.data(), res.abData.size()))
                return false;
            off = layout.aoffData[i] + res.abData.size();
        }
        else
        {
            if (!packCopyFile(res, sink, strError))
                return false;
            off = layout.aoffData[i] + res.cbFile;
        }
    }
    return true;
}
