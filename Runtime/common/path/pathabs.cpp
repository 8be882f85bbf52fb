/** @file
 * Normalised absolute paths.
 */
#include <zolt/err.h>
#include <zolt/mem.h>
#include <zolt/string.h>

#include <string.h>

#include "internal/path.h"

namespace
{

constexpr uint32_t kfAbsValidFlags =
    RTPATH_STYLE_MASK | RTPATHABS_KEEP_BASE | RTPATHABS_KEEP_CWD | RTPATHABS_TRAILING_SLASH;

/** A parsed path in a stack buffer, moving to the heap for long paths. */
class RTPATHPARSEBUF
{
  public:
    RTPATHPARSEBUF() = default;
    RTPATHPARSEBUF(const RTPATHPARSEBUF &) = delete;
    RTPATHPARSEBUF &operator=(const RTPATHPARSEBUF &) = delete;
    ~RTPATHPARSEBUF()
    {
        if (m_pRec != (RTPATHPARSEREC *)m_abStack)
            RTMemFree(m_pRec);
    }

    /** @returns the parse status; ERR_NO_TMP_MEMORY. May be called again. */
    int parse(const char *pszPath, uint32_t fStyle)
    {
        if (m_pRec != (RTPATHPARSEREC *)m_abStack)
        {
            RTMemFree(m_pRec);
            m_pRec = (RTPATHPARSEREC *)m_abStack;
        }
        int rc = rtPathParseStyle(pszPath, m_pRec, kcStackEntries, fStyle);
        if (rc == ERR_BUFFER_OVERFLOW)
        {
            size_t const cb = (size_t)m_pRec->cComps * sizeof(RTPATHPARSECOMP) + 20;
            RTPATHPARSEREC *pHeap = (RTPATHPARSEREC *)RTMemAlloc(cb);
            if (!pHeap)
                return ERR_NO_TMP_MEMORY;
            m_pRec = pHeap;
            rc = rtPathParseStyle(pszPath, m_pRec, (cb - RTPATHPARSEREC_HDR_SIZE) / sizeof(RTPATHPARSECOMP), fStyle);
        }
        return rc;
    }

    RTPATHPARSEREC *operator->()
    {
        return m_pRec;
    }
    RTPATHPARSEREC *get()
    {
        return m_pRec;
    }

  private:
    static constexpr size_t kcbStack = 1024;
    static constexpr size_t kcStackEntries = (kcbStack - RTPATHPARSEREC_HDR_SIZE) / sizeof(RTPATHPARSECOMP);
    alignas(RTPATHPARSEREC) uint8_t m_abStack[kcbStack];
    RTPATHPARSEREC *m_pRec = (RTPATHPARSEREC *)m_abStack;
};

inline bool rtPathRecHasRoot(const RTPATHPARSEREC *pRec)
{
    return (pRec->fProps & (RTPATH_PROP_UNC | RTPATH_PROP_ROOT_SLASH | RTPATH_PROP_VOLUME)) != 0;
}

/**
 * Entries that folding never touches: the root, and the share of a UNC root
 * that is not a device root. A share named ".." is no share: kept, it would
 * leave a ".." in the result, which then would not be absolute.
 */
size_t rtPathProtectedComps(const char *psz, const RTPATHPARSEREC *pRec)
{
    if (!rtPathRecHasRoot(pRec))
        return 0;
    if ((pRec->fProps & (RTPATH_PROP_UNC | RTPATH_PROP_SPECIAL_UNC)) == RTPATH_PROP_UNC && pRec->cComps > 1)
    {
        RTPATHPARSECOMP const Share = pRec->aComps[1];
        if (Share.cch != 2 || psz[Share.off] != '.' || psz[Share.off + 1] != '.')
            return 2;
    }
    return 1;
}

/**
 * Folds "." and ".." from entry @a iStart on, compacting the entries. A ".."
 * removes the nearest kept entry at or after @a iStart; with none left it
 * removes the last entry of @a pClimb above @a iClimbFloor when given, and
 * is dropped otherwise.
 */
void rtPathFold(const char *psz, RTPATHPARSEREC *pRec, size_t iStart, RTPATHPARSEREC *pClimb, size_t iClimbFloor)
{
    size_t cKept = iStart;
    for (size_t i = iStart; i < pRec->cComps; i++)
    {
        RTPATHPARSECOMP const Comp = pRec->aComps[i];
        const char *pch = &psz[Comp.off];
        if (Comp.cch == 0 || (Comp.cch == 1 && pch[0] == '.'))
            continue;
        if (Comp.cch == 2 && pch[0] == '.' && pch[1] == '.')
        {
            if (cKept > iStart)
                cKept--;
            else if (pClimb && pClimb->cComps > iClimbFloor)
                pClimb->cComps--;
            continue;
        }
        pRec->aComps[cKept++] = Comp;
    }
    pRec->cComps = (uint16_t)cKept;
}

char rtPathUpperDriveLetter(char ch)
{
    return ch >= 'a' && ch <= 'z' ? (char)(ch - 'a' + 'A') : ch;
}

void rtPathUpperDrive(char *psz, uint32_t fStyle)
{
    if (fStyle == RTPATH_STYLE_DOS && rtPathHasDrive(psz))
        psz[0] = rtPathUpperDriveLetter(psz[0]);
}

/**
 * Assembles and reports the size the way RTPathAbsEx does. The drive letter
 * is upper-cased for @a fUpperDrive only: an absolute path gets it, while a
 * rooted path with ".." keeps the caller's spelling (c:\a\..\b gives c:\b,
 * whose own absolute path then is C:\b).
 */
int rtPathAbsAssemble(const char *pszSrc, const RTPATHPARSEREC *pRec, uint32_t fStyle, size_t cchPrefix,
                      bool fUpperDrive, char *pszAbsPath, size_t *pcbAbsPath)
{
    size_t const cbDst = *pcbAbsPath > cchPrefix ? *pcbAbsPath - cchPrefix : 0;
    size_t cch = 0;
    int const rc = rtPathAssembleStyle(pszSrc, pRec, fStyle, pszAbsPath + cchPrefix, cbDst, &cch);
    if (rc == SUCCESS)
    {
        if (fUpperDrive)
            rtPathUpperDrive(pszAbsPath, fStyle);
        *pcbAbsPath = cchPrefix + cch;
    }
    else
        *pcbAbsPath = cchPrefix + cch + 1;
    return rc;
}

/**
 * The drive prefix of a rooted DOS path without drive: from the base (its
 * drive, upper-cased, or its UNC root and share) or else the current drive
 * as the host reports it.
 */
int rtPathAbsRootPrefix(const char *pszBase, char *pszAbsPath, size_t cbAbsPath, size_t *pcchPrefix)
{
    if (pszBase && rtPathHasDrive(pszBase))
    {
        if (cbAbsPath < 3)
        {
            *pcchPrefix = 2;
            return ERR_BUFFER_OVERFLOW;
        }
        pszAbsPath[0] = rtPathUpperDriveLetter(pszBase[0]);
        pszAbsPath[1] = ':';
        pszAbsPath[2] = '\0';
        *pcchPrefix = 2;
        return SUCCESS;
    }
    if (pszBase && rtPathIsDosSep(pszBase[0]) && rtPathIsDosSep(pszBase[1]))
    {
        /* Only the root and the share are needed: two entries. */
        alignas(RTPATHPARSEREC) uint8_t abRec[RTPATHPARSEREC_HDR_SIZE + 2 * sizeof(RTPATHPARSECOMP)];
        RTPATHPARSEREC &Rec = *(RTPATHPARSEREC *)abRec;
        int rc = rtPathParseStyle(pszBase, &Rec, 2, RTPATH_STYLE_DOS);
        if (rc < 0 && rc != ERR_BUFFER_OVERFLOW)
            return rc;
        size_t cchRoot = Rec.aComps[0].cch - ((Rec.fProps & RTPATH_PROP_ROOT_SLASH) ? 1 : 0);
        bool const fShare = rtPathProtectedComps(pszBase, &Rec) == 2;
        size_t const cchPrefix = cchRoot + (fShare ? 1 + Rec.aComps[1].cch : 0);
        *pcchPrefix = cchPrefix;
        if (cchPrefix >= cbAbsPath)
            return ERR_BUFFER_OVERFLOW;
        for (size_t i = 0; i < cchRoot; i++)
            pszAbsPath[i] = rtPathIsDosSep(pszBase[i]) ? '\\' : pszBase[i];
        if (fShare)
        {
            pszAbsPath[cchRoot] = '\\';
            memcpy(&pszAbsPath[cchRoot + 1], &pszBase[Rec.aComps[1].off], Rec.aComps[1].cch);
        }
        pszAbsPath[cchPrefix] = '\0';
        return SUCCESS;
    }

    int rc = RTPathGetCurrentDrive(pszAbsPath, cbAbsPath);
    if (rc == ERR_BUFFER_OVERFLOW)
    {
        /* Measure it, so that the caller learns the size it needs. */
        size_t const cbTmp = 65536;
        char *pszTmp = (char *)RTMemAlloc(cbTmp);
        if (!pszTmp)
            return ERR_NO_TMP_MEMORY;
        rc = RTPathGetCurrentDrive(pszTmp, cbTmp);
        if (rc == SUCCESS)
        {
            *pcchPrefix = strlen(pszTmp);
            rc = ERR_BUFFER_OVERFLOW;
        }
        RTMemFree(pszTmp);
        return rc;
    }
    if (rc == SUCCESS)
        *pcchPrefix = strlen(pszAbsPath);
    return rc;
}

/** A path with a root separator that is not absolute: "\dir", or a rooted
 *  path with "..". */
int rtPathAbsRooted(const char *pszBase, const char *pszPath, RTPATHPARSEREC *pPath, uint32_t fFlags, uint32_t fStyle,
                    char *pszAbsPath, size_t *pcbAbsPath)
{
    size_t const iStart = rtPathProtectedComps(pszPath, pPath);
    rtPathFold(pszPath, pPath, iStart, nullptr, 0);
    if ((fFlags & RTPATHABS_TRAILING_SLASH) && pPath->cComps > 1)
        pPath->fProps |= RTPATH_PROP_DIR_SLASH;

    size_t cchPrefix = 0;
    if (fStyle == RTPATH_STYLE_DOS && !(pPath->fProps & (RTPATH_PROP_VOLUME | RTPATH_PROP_UNC)))
    {
        int rc = rtPathAbsRootPrefix(pszBase, pszAbsPath, *pcbAbsPath, &cchPrefix);
        if (rc == ERR_BUFFER_OVERFLOW)
        {
            size_t cchPath = 0;
            (void)rtPathAssembleStyle(pszPath, pPath, fStyle, nullptr, 0, &cchPath); /* measures only */
            *pcbAbsPath = cchPrefix + cchPath + 1;
            return rc;
        }
        if (rc < 0)
            return rc;
    }
    return rtPathAbsAssemble(pszPath, pPath, fStyle, cchPrefix, false, pszAbsPath, pcbAbsPath);
}

/**
 * Joins an absolute base (parsed, possibly living in the destination) and a
 * relative path.
 */
int rtPathAbsJoin(const char *pszBase, RTPATHPARSEREC *pBase, const char *pszPath, RTPATHPARSEREC *pPath,
                  bool fKeepBase, uint32_t fFlags, uint32_t fStyle, char *pszAbsPath, size_t *pcbAbsPath)
{
    size_t const iBaseStart = rtPathProtectedComps(pszBase, pBase);
    rtPathFold(pszBase, pBase, iBaseStart, nullptr, 0);

    /* "X:file": the drive has served its purpose. */
    size_t iPathStart = 0;
    if (pPath->fProps & RTPATH_PROP_VOLUME)
    {
        pPath->aComps[0].cch = 0;
        pPath->fProps &= (uint16_t)~RTPATH_PROP_VOLUME;
        iPathStart = 1;
    }
    rtPathFold(pszPath, pPath, iPathStart, fKeepBase ? nullptr : pBase, iBaseStart);
    bool const fPathLeft = pPath->cComps > iPathStart;

    bool const fBaseRoot = rtPathRecHasRoot(pBase);
    if (fBaseRoot && !(pBase->fProps & RTPATH_PROP_ROOT_SLASH) && pBase->cComps == 1)
        return ERR_PATH_ROOT_WITHOUT_SLASH;
    if (pBase->cComps > (fBaseRoot ? 1u : 0u))
    {
        if (fPathLeft || (pPath->fProps & RTPATH_PROP_DIR_SLASH) || (fFlags & RTPATHABS_TRAILING_SLASH))
            pBase->fProps |= RTPATH_PROP_DIR_SLASH;
        else
            pBase->fProps &= (uint16_t)~RTPATH_PROP_DIR_SLASH;
    }
    if (fPathLeft && (fFlags & RTPATHABS_TRAILING_SLASH))
        pPath->fProps |= RTPATH_PROP_DIR_SLASH;

    size_t cchPath = 0;
    (void)rtPathAssembleStyle(pszPath, pPath, fStyle, nullptr, 0, &cchPath); /* measures only */
    size_t cchBase = 0;
    int rc = rtPathAssembleStyle(pszBase, pBase, fStyle, pszAbsPath, *pcbAbsPath, &cchBase);
    if (rc != SUCCESS)
    {
        *pcbAbsPath = cchBase + cchPath + 1;
        return rc;
    }
    rtPathUpperDrive(pszAbsPath, fStyle);
    size_t const cbLeft = *pcbAbsPath - cchBase;
    rc = rtPathAssembleStyle(pszPath, pPath, fStyle, pszAbsPath + cchBase, cbLeft, &cchPath);
    *pcbAbsPath = cchBase + cchPath + (rc == SUCCESS ? 0 : 1);
    return rc;
}

int rtPathAbsRelativeToBase(const char *pszBase, const char *pszPath, RTPATHPARSEREC *pPath, uint32_t fFlags,
                            uint32_t fStyle, char *pszAbsPath, size_t *pcbAbsPath)
{
    RTPATHPARSEBUF Base;
    int rc = Base.parse(pszBase, fStyle);
    if (rc < 0)
        return rc;
    if (!(Base->fProps & RTPATH_PROP_ABSOLUTE) ||
        (Base->fProps & (RTPATH_PROP_EXTRA_SLASHES | RTPATH_PROP_DOT_REFS | RTPATH_PROP_DOTDOT_REFS)))
    {
        size_t cb = *pcbAbsPath;
        rc = RTPathAbsEx(nullptr, pszBase, fStyle, pszAbsPath, &cb);
        if (rc == ERR_BUFFER_OVERFLOW)
        {
            *pcbAbsPath = cb + strlen(pszPath) + 2;
            return rc;
        }
        if (rc < 0)
            return rc;
        pszBase = pszAbsPath;
        rc = Base.parse(pszBase, fStyle);
        if (rc < 0)
            return rc;
    }
    return rtPathAbsJoin(pszBase, Base.get(), pszPath, pPath, (fFlags & RTPATHABS_KEEP_BASE) != 0, fFlags, fStyle,
                         pszAbsPath, pcbAbsPath);
}

int rtPathAbsRelativeToCwd(const char *pszPath, RTPATHPARSEREC *pPath, uint32_t fFlags, uint32_t fStyle,
                           char *pszAbsPath, size_t *pcbAbsPath)
{
    bool const fDrive = fStyle == RTPATH_STYLE_DOS && (pPath->fProps & RTPATH_PROP_VOLUME);
    auto getCwd = [&](char *pszBuf, size_t cbBuf) {
        return fDrive ? RTPathGetCurrentDirOfDrive(pszPath[0], pszBuf, cbBuf) : RTPathGetCurrentDir(pszBuf, cbBuf);
    };

    char *pszCwd = pszAbsPath;
    char *pszHeap = nullptr;
    int rc = getCwd(pszAbsPath, *pcbAbsPath);
    if (rc == ERR_BUFFER_OVERFLOW)
    {
        size_t const cbHeap = *pcbAbsPath > 65536 / 4 ? *pcbAbsPath * 4 : 65536;
        pszHeap = (char *)RTMemAlloc(cbHeap);
        if (!pszHeap)
        {
            *pcbAbsPath = cbHeap + strlen(pszPath) + 2;
            return ERR_BUFFER_OVERFLOW;
        }
        rc = getCwd(pszHeap, cbHeap);
        if (rc == ERR_BUFFER_OVERFLOW)
            rc = ERR_FILENAME_TOO_LONG;
        pszCwd = pszHeap;
    }
    if (rc >= 0)
    {
        RTPATHPARSEBUF Cwd;
        rc = Cwd.parse(pszCwd, fStyle);
        if (rc >= 0)
            rc = rtPathAbsJoin(pszCwd, Cwd.get(), pszPath, pPath, (fFlags & RTPATHABS_KEEP_CWD) != 0, fFlags, fStyle,
                               pszAbsPath, pcbAbsPath);
    }
    RTMemFree(pszHeap);
    return rc;
}

} // namespace

RTDECL(int) RTPathAbsEx(const char *pszBase, const char *pszPath, uint32_t fFlags, char *pszAbsPath, size_t *pcbAbsPath)
{
    if (!RT_VALID_PTR(pszPath) || !RT_VALID_PTR(pszAbsPath) || !RT_VALID_PTR(pcbAbsPath) ||
        (pszBase && !RT_VALID_PTR(pszBase)))
        return ERR_INVALID_POINTER;
    if (!*pszPath)
        return ERR_PATH_ZERO_LENGTH;
    if ((fFlags & ~kfAbsValidFlags) || (fFlags & RTPATH_STYLE_MASK) == RTPATH_STYLE_MASK)
        return ERR_INVALID_FLAGS;
    uint32_t const fStyle = rtPathStyle(fFlags);

    RTPATHPARSEBUF Path;
    int rc = Path.parse(pszPath, fStyle);
    if (rc < 0)
        return rc;

    if (Path->fProps & RTPATH_PROP_ABSOLUTE)
    {
        /* Only "." can be here. A UNC share named "." stays, as it does in
           the rooted path "\\srv\.\..\x", so that a result is its own
           absolute path. */
        rtPathFold(pszPath, Path.get(), rtPathProtectedComps(pszPath, Path.get()), nullptr, 0);
        if ((fFlags & RTPATHABS_TRAILING_SLASH) && Path->cComps > 1)
            Path->fProps |= RTPATH_PROP_DIR_SLASH;
        return rtPathAbsAssemble(pszPath, Path.get(), fStyle, 0, true, pszAbsPath, pcbAbsPath);
    }
    if (Path->fProps & RTPATH_PROP_ROOT_SLASH)
        return rtPathAbsRooted(pszBase, pszPath, Path.get(), fFlags, fStyle, pszAbsPath, pcbAbsPath);

    bool fUseBase = pszBase != nullptr;
    if (fUseBase && fStyle == RTPATH_STYLE_DOS && (Path->fProps & RTPATH_PROP_VOLUME))
        fUseBase = rtPathHasDrive(pszBase) && (pszBase[0] | 0x20) == (pszPath[0] | 0x20);
    if (fUseBase)
        return rtPathAbsRelativeToBase(pszBase, pszPath, Path.get(), fFlags, fStyle, pszAbsPath, pcbAbsPath);
    return rtPathAbsRelativeToCwd(pszPath, Path.get(), fFlags, fStyle, pszAbsPath, pcbAbsPath);
}

RTDECL(int) RTPathAbs(const char *pszPath, char *pszAbsPath, size_t cbAbsPath)
{
    return RTPathAbsEx(nullptr, pszPath, RTPATH_STYLE_HOST, pszAbsPath, &cbAbsPath);
}

RTDECL(char *) RTPathAbsExDup(const char *pszBase, const char *pszPath, uint32_t fFlags, const char *pszTag)
{
    size_t cbBuf = 2050;
    for (unsigned iAttempt = 0; iAttempt < 16; iAttempt++)
    {
        char *pszAbs = RTStrAlloc(cbBuf, pszTag);
        if (!pszAbs)
            return nullptr;
        size_t cb = cbBuf;
        int const rc = RTPathAbsEx(pszBase, pszPath, fFlags, pszAbs, &cb);
        if (rc >= 0)
        {
            if (cb < cbBuf / 2)
                (void)RTStrRealloc(&pszAbs, cb + 1, pszTag); /* a failed shrink leaves the string as it is */
            return pszAbs;
        }
        RTStrFree(pszAbs);
        if (rc != ERR_BUFFER_OVERFLOW)
            return nullptr;
        size_t const cbNeeded = (cb + 79) & ~(size_t)63;
        cbBuf = cbNeeded > cbBuf + 256 ? cbNeeded : cbBuf + 256;
    }
    return nullptr;
}
