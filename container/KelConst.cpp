#include "container/KelConst.h"

namespace kelvane {

// clang-format off

const std::array<const char16_t*, KelMessageCount> KelMessages = {
    u"Unknown error",  // 0
    u"Index out of bounds",  // 1
    u"Invalid compression mode. Mode must be in [0-9] range",  // 2
    u"Unexpected nil pointer",  // 3
    u"Invalid size or check sum of file or unsupported compression format",  // 4
    u"File name is blank. Specify appropriate file name",  // 5
    u"File \"%s\" not found",  // 6
    u"Archive is not open",  // 7
    u"SFXStub property is not specified",  // 8
    u"Cannot create file \"%s\"",  // 9
    u"Cannot create directory \"%s\"",  // 10
    u"Internal error. Update is not started",  // 11
    u"Cannot open file \"%s\"",  // 12
    u"Cannot proceed when update is not ended. Preceding EndUpdate call is required.",  // 13
    u"Cannot delete file \"%s\"",  // 14
    u"In-memory archive can be created only",  // 15
    u"File is open in read-only mode",  // 16
    u"Invalid compressed size, rfs.size = %d, count = %d",  // 17
    u"Invalid archive file.",  // 18
    u"Cannot create output file. Probably file is locked by another process. FileName = '%s'.",  // 19
    u"Archive is open. You should close it beore performing this operation.",  // 20
    u"Unable to create directory",  // 21
    u"Cannot find 64-bit directory end record",  // 22
    u"Cannot compress file '%s'. Zip64 mode is not enabled",  // 23
    u"Cannot open archive file. Opening aborted or invalid file",  // 24
    u"Write to stream error",  // 25
    u"Cannot place SFX stub on volume. Volume size limit is too small",  // 26
    u"Archive is damaged. Open failed",  // 27
    u"MakeSFX is not allowed for splitted or spanned archives. Set SFXStub before archive creation instead of MakeSFX",  // 28
    u"Archive already has SFX stub",  // 29
    u"Multi-volume archive is not allowed for custom stream",  // 30
    u"Multi-spanned archive is not allowed for modification. Use BeginUpdate/EndUpdate methods to add files several times",  // 31
    u"Deflate64 compression method is not supported",  // 32
    u"MakeSFX error",  // 33
    u"Hashed list of file names is invalid",  // 34
    u"Cannot delete folder \"%s\"",  // 35
    u"File name is too long: \r\n\"%s\"",  // 36
    u"Multiple transactions are not supported for multi-volume archives",  // 37
    u"Invalid InitVector index = %d. Index should be >= 0 and < %d",  // 38
    u"Disk is full. There is not enough free space on disk.",  // 39
    u"Invalid password. Cannot decompress encrypted file.",  // 40
};

const std::array<TKelErrorCodePair, KelNativeCodeCount> KelErrorCodes = {{
    {0, 0},   {1, 1},   {2, 1},   {3, 1},   {4, 1},   {5, 2},   {6, 3},   {7, 1},   {8, 4},
    {9, 5},   {10, 5},  {11, 6},  {12, 6},  {13, 7},  {14, 7},  {15, 6},  {16, 1},  {17, 8},
    {18, 6},  {19, 9},  {20, 10}, {21, 1},  {22, 11}, {23, 9},  {24, 1},  {25, 11}, {26, 13},
    {27, 14}, {28, 15}, {29, 5},  {30, 6},  {31, 6},  {32, 16}, {33, 12}, {34, 17}, {35, 18},
    {36, 19}, {37, 20}, {38, 6},  {39, 21}, {40, 22}, {41, 23}, {42, 6},  {43, 23}, {44, 24},
    {45, 24}, {46, 25}, {47, 26}, {48, 27}, {49, 28}, {50, 29}, {51, 30}, {52, 31}, {53, 6},
    {54, 6},  {55, 32}, {56, 33}, {57, 27}, {58, 34}, {59, 34}, {60, 35}, {61, 36}, {62, 37},
    {63, 38}, {64, 38}, {65, 39}, {66, 39}, {67, 40},
}};

// clang-format on

}  // namespace kelvane
