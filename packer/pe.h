/** @file
 * The launcher stub as a PE image: checking it and writing the launcher,
 * the stub with a resource section appended.
 */
#ifndef PACK_PE_H
#define PACK_PE_H

#include <cstdint>
#include <string>
#include <vector>

#include "resources.h"

/** The machines a launcher is built for (the COFF header's Machine). */
enum : uint16_t
{
    PACK_MACHINE_X86 = 0x14c,
    PACK_MACHINE_X86_64 = 0x8664,
};

/** The text the stub's ".mdstub" section begins with. */
extern const char g_szPackStubMarker[]; /* "MarrowdaleLauncherStub/1" */

/** A checked stub, held in memory (a stub is some hundred kilobytes). */
struct PackStub
{
    std::vector<uint8_t> abImage;
    uint16_t uMachine = 0;
    uint32_t offPe = 0;       /**< the "PE\0\0" signature */
    uint32_t offOptional = 0; /**< the optional header */
    uint32_t offSections = 0; /**< the section table */
    uint16_t cSections = 0;
    uint32_t uSectionAlignment = 0, uFileAlignment = 0;
    uint32_t offDataDirectories = 0;
    uint32_t cDataDirectories = 0;
};

/** The name of a machine for messages ("x86-64", "x86"), "machine 0x1c4"
 *  for others. */
std::string PackMachineName(uint16_t uMachine);

/** Checks that abImage (read from strPath, the name used in messages) is a
 *  launcher stub for uMachine: a PE32 (x86) or PE32+ (x86-64) image whose
 *  headers and section table lie within the file, with the ".mdstub"
 *  section beginning with the marker, no resource directory, no
 *  certificate table, and room for one more section header. Fills stub
 *  (taking abImage) or sets strError naming what was found. */
bool PackCheckStub(const std::string &strPath, std::vector<uint8_t> &&abImage, uint16_t uMachine, PackStub &stub,
                   std::string &strError);

/** A sink for the launcher's file: besides writing in order, it can
 *  rewrite 4 bytes already written (the checksum, known at the end). */
class PackFileSink : public PackSink
{
  public:
    virtual bool patch(uint64_t offFile, const uint8_t abBytes[4]) = 0;
};

/** Writes the launcher into sink: the stub with a ".rsrc" section holding
 *  resources appended after everything the stub's file holds (the last
 *  section, and a COFF symbol table an unstripped stub has beyond it), at
 *  a 4096-aligned offset, and the headers updated: the section count,
 *  SizeOfImage, SizeOfInitializedData, the resource directory and the
 *  checksum, computed while the data streams by and patched in at the end.
 *  False with strError set (or the sink's own error) on failure. */
bool PackWriteLauncher(const PackStub &stub, const std::vector<PackResource> &resources, PackFileSink &sink,
                       std::string &strError);

#endif /* PACK_PE_H */
