/* The thread registry's AVL tree: random inserts and removals checked
   against a set, with the ordering and balance of every node verified. */
#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <set>
#include <string.h>
#include <vector>

#include "internal/thread.h"

/** Checks order, heights and balance below @a pNode; @returns the height,
 *  or -1 after reporting a failure. */
static int tstCheckSubtree(PRTTHREADINT pNode, uint64_t uMin, uint64_t uMax, size_t *pcNodes)
{
    if (!pNode)
        return 0;
    (*pcNodes)++;
    EXPECT_TRUE(pNode->Key >= uMin && pNode->Key <= uMax) << pNode->Key;
    int cLeft = tstCheckSubtree(pNode->pLeft, uMin, (uint64_t)pNode->Key - 1, pcNodes);
    int cRight = tstCheckSubtree(pNode->pRight, (uint64_t)pNode->Key + 1, uMax, pcNodes);
    if (cLeft < 0 || cRight < 0)
        return -1;
    int cHeight = std::max(cLeft, cRight) + 1;
    EXPECT_EQ(cHeight, pNode->cHeight) << pNode->Key;
    EXPECT_LE(std::abs(cLeft - cRight), 1) << pNode->Key;
    return cHeight == pNode->cHeight && std::abs(cLeft - cRight) <= 1 ? cHeight : -1;
}

TEST(ThreadTree, RandomInsertsAndRemovalsStayOrderedAndBalanced)
{
    /* Keys from a small range so that duplicates and misses happen often. */
    std::vector<RTTHREADINT> aNodes(600);
    std::mt19937 Rng(20240601);
    std::uniform_int_distribution<uint32_t> KeyDist(0, 999);
    std::set<uint32_t> Present;
    std::vector<RTTHREADINT *> Free;
    for (auto &Node : aNodes)
    {
        memset(&Node, 0, sizeof(Node));
        Free.push_back(&Node);
    }
    PRTTHREADINT pRoot = nullptr;
    for (int iStep = 0; iStep < 20000; iStep++)
    {
        uint32_t const uKey = KeyDist(Rng);
        if (Rng() % 2 && !Free.empty())
        {
            PRTTHREADINT pNode = Free.back();
            pNode->Key = uKey;
            bool const fInserted = rtThreadTreeInsert(&pRoot, pNode);
            ASSERT_EQ(!Present.count(uKey), fInserted) << "step " << iStep << " key " << uKey;
            if (fInserted)
            {
                Present.insert(uKey);
                Free.pop_back();
            }
        }
        else
        {
            PRTTHREADINT pRemoved = rtThreadTreeRemove(&pRoot, uKey);
            ASSERT_EQ(Present.count(uKey) != 0, pRemoved != nullptr) << "step " << iStep << " key " << uKey;
            if (pRemoved)
            {
                EXPECT_EQ(uKey, pRemoved->Key);
                Present.erase(uKey);
                Free.push_back(pRemoved);
            }
        }
        EXPECT_EQ(Present.count(uKey) ? uKey : UINT32_MAX,
                  rtThreadTreeGet(pRoot, uKey) ? rtThreadTreeGet(pRoot, uKey)->Key : UINT32_MAX);
        if (iStep % 97 == 0)
        {
            size_t cNodes = 0;
            ASSERT_GE(tstCheckSubtree(pRoot, 0, UINT32_MAX, &cNodes), 0) << "step " << iStep;
            ASSERT_EQ(Present.size(), cNodes) << "step " << iStep;
        }
    }
}

TEST(ThreadTree, ExtremeKeysAndEmptyTree)
{
    PRTTHREADINT pRoot = nullptr;
    EXPECT_EQ(nullptr, rtThreadTreeGet(pRoot, 0));
    EXPECT_EQ(nullptr, rtThreadTreeRemove(&pRoot, 5));
    RTTHREADINT aNodes[3];
    memset(aNodes, 0, sizeof(aNodes));
    uint32_t const auKeys[] = {UINT32_MAX, 0, 0x80000000u};
    for (int i = 0; i < 3; i++)
    {
        aNodes[i].Key = auKeys[i];
        EXPECT_TRUE(rtThreadTreeInsert(&pRoot, &aNodes[i]));
    }
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(&aNodes[i], rtThreadTreeGet(pRoot, auKeys[i]));
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(&aNodes[i], rtThreadTreeRemove(&pRoot, auKeys[i]));
    EXPECT_EQ(nullptr, pRoot);
}
