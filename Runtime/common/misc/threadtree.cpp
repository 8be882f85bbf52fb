/** @file
 * The thread registry's tree: an AVL tree of thread records keyed by their
 * platform thread identifier, linked through the records themselves so
 * that registering a thread never allocates. The caller serialises access.
 */
#include "internal/thread.h"

static uint32_t rtThreadTreeKey(PRTTHREADINT pNode)
{
    return rtAtomic(pNode->Key).load(std::memory_order_relaxed);
}

static uint8_t rtThreadTreeHeight(PRTTHREADINT pNode)
{
    return pNode ? pNode->cHeight : 0;
}

static void rtThreadTreeUpdateHeight(PRTTHREADINT pNode)
{
    uint8_t cLeft = rtThreadTreeHeight(pNode->pLeft);
    uint8_t cRight = rtThreadTreeHeight(pNode->pRight);
    pNode->cHeight = (uint8_t)((cLeft > cRight ? cLeft : cRight) + 1);
}

static PRTTHREADINT rtThreadTreeRotateRight(PRTTHREADINT pNode)
{
    PRTTHREADINT pLeft = pNode->pLeft;
    pNode->pLeft = pLeft->pRight;
    pLeft->pRight = pNode;
    rtThreadTreeUpdateHeight(pNode);
    rtThreadTreeUpdateHeight(pLeft);
    return pLeft;
}

static PRTTHREADINT rtThreadTreeRotateLeft(PRTTHREADINT pNode)
{
    PRTTHREADINT pRight = pNode->pRight;
    pNode->pRight = pRight->pLeft;
    pRight->pLeft = pNode;
    rtThreadTreeUpdateHeight(pNode);
    rtThreadTreeUpdateHeight(pRight);
    return pRight;
}

/** Restores the AVL condition at @a pNode, whose subtrees are balanced and
 *  differ in height by at most two. @returns the subtree's new root. */
static PRTTHREADINT rtThreadTreeRebalance(PRTTHREADINT pNode)
{
    rtThreadTreeUpdateHeight(pNode);
    int iBalance = rtThreadTreeHeight(pNode->pLeft) - rtThreadTreeHeight(pNode->pRight);
    if (iBalance > 1)
    {
        if (rtThreadTreeHeight(pNode->pLeft->pLeft) < rtThreadTreeHeight(pNode->pLeft->pRight))
            pNode->pLeft = rtThreadTreeRotateLeft(pNode->pLeft);
        return rtThreadTreeRotateRight(pNode);
    }
    if (iBalance < -1)
    {
        if (rtThreadTreeHeight(pNode->pRight->pRight) < rtThreadTreeHeight(pNode->pRight->pLeft))
            pNode->pRight = rtThreadTreeRotateRight(pNode->pRight);
        return rtThreadTreeRotateLeft(pNode);
    }
    return pNode;
}

static PRTTHREADINT rtThreadTreeInsertAt(PRTTHREADINT pRoot, PRTTHREADINT pNew, bool *pfInserted)
{
    if (!pRoot)
    {
        pNew->pLeft = pNew->pRight = nullptr;
        pNew->cHeight = 1;
        *pfInserted = true;
        return pNew;
    }
    uint32_t const uKey = rtThreadTreeKey(pNew);
    uint32_t const uRootKey = rtThreadTreeKey(pRoot);
    if (uKey == uRootKey)
        return pRoot;
    if (uKey < uRootKey)
        pRoot->pLeft = rtThreadTreeInsertAt(pRoot->pLeft, pNew, pfInserted);
    else
        pRoot->pRight = rtThreadTreeInsertAt(pRoot->pRight, pNew, pfInserted);
    return rtThreadTreeRebalance(pRoot);
}

bool rtThreadTreeInsert(PRTTHREADINT *ppRoot, PRTTHREADINT pNew)
{
    bool fInserted = false;
    *ppRoot = rtThreadTreeInsertAt(*ppRoot, pNew, &fInserted);
    return fInserted;
}

/** Unlinks the smallest node of a non-empty subtree into *ppMin. */
static PRTTHREADINT rtThreadTreeRemoveMin(PRTTHREADINT pRoot, PRTTHREADINT *ppMin)
{
    if (!pRoot->pLeft)
    {
        *ppMin = pRoot;
        return pRoot->pRight;
    }
    pRoot->pLeft = rtThreadTreeRemoveMin(pRoot->pLeft, ppMin);
    return rtThreadTreeRebalance(pRoot);
}

static PRTTHREADINT rtThreadTreeRemoveAt(PRTTHREADINT pRoot, uint32_t uKey, PRTTHREADINT *ppRemoved)
{
    if (!pRoot)
        return nullptr;
    uint32_t const uRootKey = rtThreadTreeKey(pRoot);
    if (uKey < uRootKey)
        pRoot->pLeft = rtThreadTreeRemoveAt(pRoot->pLeft, uKey, ppRemoved);
    else if (uKey > uRootKey)
        pRoot->pRight = rtThreadTreeRemoveAt(pRoot->pRight, uKey, ppRemoved);
    else
    {
        *ppRemoved = pRoot;
        PRTTHREADINT pLeft = pRoot->pLeft;
        PRTTHREADINT pRight = pRoot->pRight;
        pRoot->pLeft = pRoot->pRight = nullptr;
        pRoot->cHeight = 0;
        if (!pRight)
            return pLeft;
        PRTTHREADINT pSuccessor;
        pRight = rtThreadTreeRemoveMin(pRight, &pSuccessor);
        pSuccessor->pLeft = pLeft;
        pSuccessor->pRight = pRight;
        return rtThreadTreeRebalance(pSuccessor);
    }
    return rtThreadTreeRebalance(pRoot);
}

PRTTHREADINT rtThreadTreeRemove(PRTTHREADINT *ppRoot, uint32_t uKey)
{
    PRTTHREADINT pRemoved = nullptr;
    *ppRoot = rtThreadTreeRemoveAt(*ppRoot, uKey, &pRemoved);
    return pRemoved;
}

PRTTHREADINT rtThreadTreeGet(PRTTHREADINT pRoot, uint32_t uKey)
{
    while (pRoot)
    {
        uint32_t const uRootKey = rtThreadTreeKey(pRoot);
        if (uKey == uRootKey)
            return pRoot;
        pRoot = uKey < uRootKey ? pRoot->pLeft : pRoot->pRight;
    }
    return nullptr;
}
