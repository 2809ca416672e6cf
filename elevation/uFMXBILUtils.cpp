#include "elevation/uFMXBILUtils.h"

QString BILFileName;
bool BILBigEndian = false;
int32_t BILWidth = 10800;
int32_t BILHeight = 4800;
int32_t BILNoData = -32768;
int16_t BILRaw[BILCapacity];
int16_t BILData[BILCapacity];
int16_t BILMax = 0;
int16_t BILMin = 0;
uint32_t BILRange = 0;
TAlphaColor BILColors[65536];

std::function<void()> BILAskLayout;
std::function<void(const QString &)> BILShowError;

int32_t BILStrToInt(QByteArrayView) { return 0; }
TAlphaColor MakeColor(int, int, int) { return 0; }
TAlphaColor TextureColor(int16_t h) { return BILColorOf(h); }
TAlphaColor HeightColor(int16_t) { return 0; }
void ScanBILRange(int, int, int, int) {}
void RenderBIL(QImage &, BILColorFunc, int, int, int, int) {}
void LoadColorTable() {}
void OpenBILFile(const QString &, QImage &) {}
void LoadBILFile(const QString &, QImage &) {}
void ReadBILHeader(const QString &) {}
void ReadBILData(const QString &, QImage &) {}
QString BILCaption() { return {}; }
void SmoothBIL(int) {}
void ExportBIL(const QString &, int, int, int, int, int) {}
