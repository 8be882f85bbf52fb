#!/usr/bin/env python3
"""Generates the runtime's status table from the status names of
include/zolt/err.h and the messages of Runtime/common/err/status-messages.txt.

Output: a C++ source defining
  - g_aRTErrStatusEntries: one 64-bit word per status, sorted by code:
      bits  0-16 name offset in the packed text   bits 17-22 packed name length
      bits 23-39 message offset                   bits 40-47 packed message length
      bits 48-63 the code (signed 16-bit)
  - g_RTErrPackedText: the packed names and messages with a 256-entry word
    dictionary. A dictionary entry above 0x7FFFFF names a word stored in the
    packed bytes (bits 22-31 length, bits 0-21 offset); any other entry means
    the byte stands for itself.

Fails (exit status 1, one line per problem) on: a message for a name that
err.h lacks, a status of err.h without a message, a name listed twice, two
names with one code, a code outside the signed 16-bit range, a name or
message whose packed form does not fit its length field or whose offset does
not fit its offset field, or a character outside printable ASCII.
"""

import argparse
import re
import sys

NAME_LEN_MAX = (1 << 6) - 1
MSG_LEN_MAX = (1 << 8) - 1
TEXT_OFF_LIMIT = 1 << 17
WORD_OFF_LIMIT = 1 << 22
WORD_LEN_MAX = (1 << 10) - 1
DICT_ENTRIES = 256

DEFINE_RE = re.compile(r'^#define\s+(SUCCESS|(?:ERR|WRN|INF)_\w+)\s+\(?\s*(-?\d+)\s*\)?\s*$')
WORD_RE = re.compile(r"[A-Za-z0-9]+[_ ]?")


def read_statuses(path):
    statuses = {}
    with open(path, encoding='utf-8') as f:
        for line in f:
            m = DEFINE_RE.match(line.strip())
            if m:
                statuses[m.group(1)] = int(m.group(2))
    return statuses


def read_messages(path, errors):
    messages = {}
    with open(path, encoding='utf-8') as f:
        for lineno, line in enumerate(f, 1):
            line = line.rstrip('\n')
            if not line.strip() or line.lstrip().startswith('#'):
                continue
            parts = line.split(None, 1)
            where = '%s:%d' % (path, lineno)
            if len(parts) != 2 or not parts[1].strip():
                errors.append('%s: "%s" has no message' % (where, parts[0]))
                continue
            name, msg = parts[0], parts[1].strip()
            if name in messages:
                errors.append('%s: %s is listed twice' % (where, name))
                continue
            if any(not (0x20 <= ord(c) < 0x7f) for c in name + msg):
                errors.append('%s: %s has a character outside printable ASCII' % (where, name))
                continue
            messages[name] = (msg, where)
    return messages


def choose_words(texts, slots):
    """Picks the words whose replacement by one byte saves the most."""
    counts = {}
    for text in texts:
        for m in WORD_RE.finditer(text):
            w = m.group(0)
            if 2 <= len(w) <= WORD_LEN_MAX:
                counts[w] = counts.get(w, 0) + 1
    scored = [(c * (len(w) - 1) - len(w), w) for w, c in counts.items()]
    scored = [sw for sw in scored if sw[0] > 0]
    scored.sort(key=lambda sw: (-sw[0], sw[1]))
    return [w for _, w in scored[:slots]]


def pack(text, codes):
    """Shortest encoding of text with the words in codes (word -> byte)."""
    n = len(text)
    best = [0] * (n + 1)
    choice = [None] * (n + 1)
    for i in range(n - 1, -1, -1):
        best[i] = best[i + 1] + 1
        choice[i] = None
        for w, code in codes.items():
            if text.startswith(w, i) and best[i + len(w)] + 1 < best[i]:
                best[i] = best[i + len(w)] + 1
                choice[i] = (w, code)
    out = bytearray()
    i = 0
    while i < n:
        if choice[i]:
            out.append(choice[i][1])
            i += len(choice[i][0])
        else:
            out.append(ord(text[i]))
            i += 1
    return bytes(out)


def c_string_comment(s):
    return s.replace('*/', '*\\/')


def main():
    ap = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    ap.add_argument('--header', required=True, help='include/zolt/err.h')
    ap.add_argument('--messages', required=True, help='the status messages file')
    ap.add_argument('--output', required=True, help='the C++ file to write')
    args = ap.parse_args()

    errors = []
    statuses = read_statuses(args.header)
    messages = read_messages(args.messages, errors)

    for name, (msg, where) in messages.items():
        if name not in statuses:
            errors.append('%s: %s is not a status of %s' % (where, name, args.header))
    for name in statuses:
        if name not in messages:
            errors.append('%s: %s has no message in %s' % (args.header, name, args.messages))
    by_code = {}
    for name in messages:
        if name not in statuses:
            continue
        code = statuses[name]
        if not -0x8000 <= code <= 0x7fff:
            errors.append('%s: code %d of %s does not fit 16 bits' % (messages[name][1], code, name))
        if code in by_code:
            errors.append('%s: %s has the same code %d as %s' % (messages[name][1], name, code, by_code[code]))
        else:
            by_code[code] = name
    if errors:
        for e in errors:
            print('error: ' + e, file=sys.stderr)
        return 1

    entries = sorted((code, name, messages[name][0]) for code, name in by_code.items())
    texts = [name for _, name, _ in entries] + [msg for _, _, msg in entries]

    # Every byte that occurs in a text stands for itself; the other byte
    # values become words.
    literal = sorted({ord(c) for t in texts for c in t})
    free_codes = [b for b in range(DICT_ENTRIES) if b not in set(literal)]
    words = choose_words(texts, len(free_codes))
    codes = dict(zip(words, free_codes))

    store = bytearray()
    dictionary = list(range(DICT_ENTRIES))
    for w, code in codes.items():
        if len(store) + len(w) > WORD_OFF_LIMIT:
            errors.append('the dictionary words do not fit their offset field')
            break
        dictionary[code] = (len(w) << 22) | len(store)
        store += w.encode('ascii')

    packed_at = {}

    def place(data):
        """Stores data once and returns its offset."""
        if data not in packed_at:
            packed_at[data] = len(store)
            store.extend(data)
        return packed_at[data]

    words64 = []
    for code, name, msg in entries:
        pname = pack(name, codes)
        pmsg = pack(msg, codes)
        where = messages[name][1]
        if len(pname) > NAME_LEN_MAX:
            errors.append('%s: the name %s is %d bytes packed, more than %d' % (where, name, len(pname), NAME_LEN_MAX))
        if len(pmsg) > MSG_LEN_MAX:
            errors.append('%s: the message of %s is %d bytes packed, more than %d' % (where, name, len(pmsg),
                                                                                       MSG_LEN_MAX))
        off_name = place(pname)
        off_msg = place(pmsg)
        if off_name >= TEXT_OFF_LIMIT or off_msg >= TEXT_OFF_LIMIT:
            errors.append('%s: the text of %s lies beyond the offset field' % (where, name))
        word = ((off_name & 0x1ffff) | (len(pname) & 0x3f) << 17 | (off_msg & 0x1ffff) << 23
                | (len(pmsg) & 0xff) << 40 | (code & 0xffff) << 48)
        words64.append((word, name))
    if errors:
        for e in errors:
            print('error: ' + e, file=sys.stderr)
        return 1

    out = []
    out.append('/* Generated by tools/generate-status-table.py from %s and %s; do not edit. */'
               % (args.header, args.messages))
    out.append('#include "internal/errtable.h"')
    out.append('')
    out.append('const RTErrStatusEntry g_aRTErrStatusEntries[] = {')
    for word, name in words64:
        out.append('    UINT64_C(0x%016x), /* %s */' % (word, name))
    out.append('};')
    out.append('const uint32_t g_cRTErrStatusEntries = %d;' % len(words64))
    out.append('')
    out.append('static const uint8_t g_abRTErrPackedBytes[%d] = {' % len(store))
    for i in range(0, len(store), 16):
        out.append('    ' + ' '.join('0x%02x,' % b for b in store[i:i + 16]))
    out.append('};')
    out.append('')
    out.append('static const uint32_t g_auRTErrPackedDict[%d] = {' % DICT_ENTRIES)
    for b in range(DICT_ENTRIES):
        e = dictionary[b]
        if e > 0x7fffff:
            w = bytes(store[e & 0x3fffff:(e & 0x3fffff) + (e >> 22)]).decode('ascii')
            out.append('    0x%08x, /* %#04x "%s" */' % (e, b, c_string_comment(w)))
        else:
            out.append('    0x%08x,' % e)
    out.append('};')
    out.append('')
    out.append('const RTErrPackedText g_RTErrPackedText = {g_abRTErrPackedBytes, sizeof(g_abRTErrPackedBytes), '
               '%d, g_auRTErrPackedDict};' % DICT_ENTRIES)
    out.append('')
    # The names once more as plain text, so that "%Rrc" copies a name
    # instead of expanding it; the packed form stays the one for messages.
    names = ''.join(name for _, name, _ in entries)
    out.append('const char g_achRTErrNames[%d] = {' % max(len(names), 1))
    for i in range(0, len(names), 16):
        out.append('    ' + ' '.join('0x%02x,' % ord(c) for c in names[i:i + 16]))
    out.append('};')
    out.append('')
    out.append('const RTErrNameRef g_aRTErrNames[] = {')
    off = 0
    for _, name, _ in entries:
        out.append('    {%d, %d}, /* %s */' % (off, len(name), name))
        off += len(name)
    out.append('};')
    text = '\n'.join(out) + '\n'

    with open(args.output, 'w', encoding='utf-8') as f:
        f.write(text)
    return 0


if __name__ == '__main__':
    sys.exit(main())
