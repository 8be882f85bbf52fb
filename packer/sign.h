/** @file
 * Authenticode signing for the packer: with osslsigncode where the host has
 * it, or with a command of the signer's (SIGN_COMMAND) on any host, after
 * checking the key files. Every signed file is verified before it takes its
 * name. Messages are the ones the build has always given.
 */
#ifndef PACK_SIGN_H
#define PACK_SIGN_H

#include <cstdint>
#include <string>
#include <vector>

/** The signing options as given (empty: not given). */
struct PackSigning
{
    std::string strPkcs12, strKey, strCert, strPasswordFile, strTimestampUrl, strDescription, strUrl, strCommand;
    bool fSignPackages = false;
    /** True when a key (or a command) is given: the launcher is signed. */
    bool isEnabled() const
    {
        return !strPkcs12.empty() || !strKey.empty() || !strCommand.empty();
    }
};

/** Checks the option combination, the key files and the command template;
 *  on success signerDers holds the signer's certificates (DER, the signing
 *  certificate first). With no key given, checks that no signing option
 *  needing one was given and leaves signerDers empty. */
bool PackSignCheck(const PackSigning &signing, std::vector<std::vector<uint8_t>> &signerDers, std::string &strError);

/** Signs strIn into strOut (SHA-256; signing time SOURCE_DATE_EPOCH when set)
 *  and verifies it against signerDers. strOut exists afterwards only when
 *  that succeeded. */
bool PackSignFile(const PackSigning &signing, const std::vector<std::vector<uint8_t>> &signerDers,
                  const std::string &strIn, const std::string &strOut, std::string &strError);

/** Checks a signed PE file without osslsigncode: its certificate table
 *  holds one Authenticode PKCS#7 signature whose file hash (SHA-256) is the
 *  file's own, whose signed attributes carry that hash, and whose one signer
 *  is signerDers[0] (issuer and serial number), carried in it. It does not
 *  check the signature value itself (that the certificate's key made it),
 *  the chain, validity dates or a time-stamp. False with the reason in
 *  strReason otherwise. */
bool PackSignVerifyStructure(const std::vector<std::vector<uint8_t>> &signerDers, const std::string &strFile,
                             std::string &strReason);

/** What a signature depends on besides the file: the signing options given
 *  and SOURCE_DATE_EPOCH, as one text (the build rewrites a stamp file with
 *  it only when it changes, and signs again exactly then). */
std::string PackSignOptionsRecord(const PackSigning &signing);

#endif /* PACK_SIGN_H */
