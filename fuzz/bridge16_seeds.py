#!/usr/bin/env python3
# Writes the named tagged-list seeds of bridge16_fuzz into the directory given
# (fuzz/corpus/bridge16_fuzz).  The harness reads its choices from the end of
# the input (FuzzedDataProvider), so each seed is its choices in reverse:
# both raw buffers empty, then one tagged-list operation.
import os
import sys
STUB = 12  # STUB_COUNT: the list operation is STUB_COUNT + 3
LISTOP=STUB+3
def u8(v): return [v & 0xff]
def u16(v): return [(v>>8)&0xff, v&0xff]
def u32(v): v &= 0xffffffff; return [(v>>24)&0xff,(v>>16)&0xff,(v>>8)&0xff,v&0xff]
# valueFar cases: 0 null, 1 one past, 2 just past memory, 3 in pool, 4 unknown sel, 5 farField, 6 raw, 7 exact
def pair(which, case, key=None, extra=()):
    out = u8(which)
    if which == 3: out += u32(key)
    elif which == 4: out += u16(key)
    out += u8(case)
    if case == 4: out += u8(0)
    if case == 6: out += u32(extra[0])
    return out
def listop(shape, pairs, use, count=None, cut=None, fmt=0, kind=0):
    out = u8(LISTOP) + u8(shape)
    if shape == 6: out += u8(len(pairs) - 17)
    else: out += u8(len(pairs))
    if shape == 7: out += u32(count)
    for p in pairs: out += p
    if cut is None: out += u8(1)
    else: out += u8(0) + u8(cut - 1)
    out += u8(use)
    if use in (0, 1): out += u8(kind)
    if use == 2: out += u8(fmt)
    return out
G, C, K = 0, 1, 2
EXACT, PAST1, PASTEND, POOL, UNKNOWN, RAW = 7, 1, 2, 3, 4, 6
seeds = {
 'list-all-records-exact-page-moved': listop(0, [pair(G,EXACT), pair(C,EXACT), pair(K,EXACT)], 1),
 'list-calibration-exact-page': listop(0, [pair(K,EXACT)], 0, kind=1),
 'list-calibration-one-past-page': listop(0, [pair(K,PAST1)], 1, kind=2),
 'list-calibration-in-pool-page': listop(0, [pair(K,POOL)], 1),
 'list-gamma-curves-exact-preview': listop(0, [pair(G,EXACT), pair(C,EXACT)], 2, fmt=1),
 'list-gamma-one-past-preview': listop(0, [pair(G,PAST1)], 2),
 'list-curves-one-past-preview': listop(0, [pair(C,PAST1)], 2),
 'list-curves-in-pool-preview': listop(0, [pair(C,POOL), pair(G,POOL)], 2),
 'list-value-past-end-preview': listop(0, [pair(G,PASTEND)], 2),
 'list-value-unknown-selector-page': listop(0, [pair(K,UNKNOWN)], 0),
 'list-duplicate-keys-page': listop(0, [pair(K,PAST1), pair(K,EXACT), pair(G,EXACT), pair(G,PAST1)], 1),
 'list-other-keys-preview': listop(0, [pair(3,EXACT,key=0x7fffffff), pair(4,RAW,key=2,extra=(0x01000000,)), pair(4,EXACT,key=0)], 2),
 'list-sixteen-pairs-page': listop(0, [pair(4,EXACT,key=i) for i in range(13)] + [pair(G,EXACT), pair(C,EXACT), pair(K,EXACT)], 1),
 'list-seventeen-pairs-page': listop(6, [pair(4,EXACT,key=i) for i in range(14)] + [pair(G,EXACT), pair(C,EXACT), pair(K,EXACT)], 1),
 'list-negative-count-preview': listop(7, [pair(G,EXACT)], 2, count=-1),
 'list-count-past-memory-page': listop(7, [pair(K,EXACT)], 0, count=3),
 'list-cut-last-pair-page': listop(0, [pair(G,EXACT), pair(K,EXACT)], 1, cut=4),
}
for name, choices in seeds.items():
    data = bytes(reversed(u16(0) + u16(0) + choices))
    open(os.path.join(sys.argv[1], name), 'wb').write(data)
