// Speed of the Wine registry file reader and writer: the real user.reg, and a prefix-sized file.
#include "winereg/WineRegReader.h"
#include "winereg/WineRegWriter.h"

#include <benchmark/benchmark.h>

#include <QFile>

namespace {

QByteArray RealFile() {
    QFile file(QStringLiteral(HW_TESTDATA_DIR "/wine_user.reg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// About as large as the system.reg of a prefix with a few programs installed (~20 MB).
const QByteArray& LargeFile() {
    static const QByteArray s_data = [] {
        CWineRegKey top;
        for (int i = 0; i < 60000; ++i) {
            CWineRegKey* pKey = top.CreateKey(
                QStringLiteral("Software\\Classes\\CLSID\\{%1-0000-4000-8000-00000000%2}\\Server")
                    .arg(i, 8, 16, QLatin1Char('0'))
                    .arg(i % 9999, 4, 10, QLatin1Char('0')));
            pKey->m_nModified = 0x1da732342eb0d20ull + uint64_t(i);
            pKey->SetValue({QString(), REG_SZ, RegStringData(u"C:\\windows\\system32\\ole32.dll")});
            pKey->SetValue({QStringLiteral("ThreadingModel"), REG_SZ, RegStringData(u"Both")});
            pKey->SetValue({QStringLiteral("Flags"), REG_DWORD, RegDwordData(uint32_t(i))});
            pKey->SetValue({QStringLiteral("Data"), REG_BINARY, QByteArray(40, char(i))});
        }
        CWineRegWriter::SOptions options;
        options.m_strRelativeTo = QStringLiteral("REGISTRY\\Machine");
        return CWineRegWriter::Write(top, options);
    }();
    return s_data;
}

void Read(benchmark::State& state, const QByteArray& data) {
    for (auto _ : state) {
        CWineRegKey top;
        SWineRegFileInfo info;
        QString strError;
        if (!CWineRegReader::Parse(data, top, info, strError))
            state.SkipWithError(strError.toStdString().c_str());
        benchmark::DoNotOptimize(top.SubKeyCount());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * data.size());
}

void BM_ReadRealUserReg(benchmark::State& state) {
    Read(state, RealFile());
}
BENCHMARK(BM_ReadRealUserReg);

void BM_ReadLargeSystemReg(benchmark::State& state) {
    Read(state, LargeFile());
}
BENCHMARK(BM_ReadLargeSystemReg)->Unit(benchmark::kMillisecond);

void BM_WriteLargeSystemReg(benchmark::State& state) {
    CWineRegKey top;
    SWineRegFileInfo info;
    QString strError;
    CWineRegReader::Parse(LargeFile(), top, info, strError);
    for (auto _ : state)
        benchmark::DoNotOptimize(CWineRegWriter::Write(top, {}).size());
    state.SetBytesProcessed(int64_t(state.iterations()) * LargeFile().size());
}
BENCHMARK(BM_WriteLargeSystemReg)->Unit(benchmark::kMillisecond);

} // namespace
