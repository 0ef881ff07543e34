// Find over millions of records: a search that matches nothing examines every record, the
// worst case a user meets. Through the view's Find Next (the record lock, the document's
// search, the progress that shows after a moment) and the document's search alone.
#include "display/FindReplaceDialog.h"
#include "display/HivewatchView.h"
#include "display/ViewFrame.h"
#include "settings/SetObj.h"
#include "store/HivewatchDoc.h"
#include "store/RegOperations.h"

#include <benchmark/benchmark.h>

#include <QApplication>

#include <map>
#include <memory>
#include <vector>

namespace {

constexpr int PROTOTYPE_COUNT = 64;

// A few dozen different records; the document holds copies, which share their texts as
// decoded records do.
const std::vector<CRegInfoObj>& Prototypes() {
    static const std::vector<CRegInfoObj> s_records = [] {
        std::vector<CRegInfoObj> records(PROTOTYPE_COUNT);
        for (int i = 0; i < PROTOTYPE_COUNT; ++i) {
            CRegInfoObj& r = records[size_t(i)];
            const int nCode = i % REG_OPERATION_COUNT;
            r.m_strTime = QStringLiteral("12:34:56.%1").arg(i, 3, 10, QLatin1Char('0'));
            r.m_strProcessName = QStringLiteral("process%1.exe").arg(i % 7);
            r.m_nPid = 4000 + i;
            r.m_strRequest = QString::fromLatin1(g_RegOperationNames[size_t(nCode)].data());
            r.m_strPath = QStringLiteral("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\"
                                         "Explorer\\Advanced\\Folder%1\\Value")
                              .arg(i);
            r.m_strResult = QStringLiteral("SUCCESS");
            r.m_strOldValue = QStringLiteral("REG_DWORD: 0x00000001 (1)");
            r.m_strNewValue = QStringLiteral("REG_DWORD: 0x00000002 (2)");
        }
        return records;
    }();
    return s_records;
}

class CNoFrame : public IViewFrame {
public:
    void SetMainView(CHivewatchView*) override {}
    int ShowRecordDetails(qint64) override { return 1; }
};

// One document and one shown view per size, made once.
struct SDocument {
    CHivewatchDoc doc;
    CNoFrame frame;
    std::unique_ptr<CHivewatchView> pView;
};

SDocument& DocumentOf(long long nRecords) {
    static std::map<long long, std::unique_ptr<SDocument>> s_docs;
    std::unique_ptr<SDocument>& p = s_docs[nRecords];
    if (!p) {
        p = std::make_unique<SDocument>();
        std::vector<CRegInfoObj*> batch;
        batch.reserve(4096);
        for (long long i = 0; i < nRecords; ++i) {
            auto* pRecord = new CRegInfoObj(Prototypes()[size_t(i % PROTOTYPE_COUNT)]);
            pRecord->m_nSeq = int32_t(i + 1);
            batch.push_back(pRecord);
            if (batch.size() == batch.capacity() || i + 1 == nRecords) {
                p->doc.AppendRecords(batch.data(), batch.size());
                batch.clear();
            }
        }
        p->pView = std::make_unique<CHivewatchView>(&p->doc, &p->frame);
        p->pView->resize(1200, 800);
        p->pView->show();
        p->pView->OnInitialUpdate();
        QApplication::processEvents();
    }
    return *p;
}

const QString NOWHERE = QStringLiteral("no such text anywhere");

// Find Next in the view, nothing selected, down: every record is examined once.
void BM_ViewFindNoMatch(benchmark::State& state) {
    SDocument& d = DocumentOf(state.range(0));
    for (auto _ : state) {
        const qint64 nRow = d.pView->OnFindReplace(NOWHERE, FR_FINDNEXT | FR_DOWN);
        if (nRow != -1)
            state.SkipWithError("found a match");
    }
    state.counters["records"] = double(d.doc.GetRecordCount());
    state.counters["records_per_s"] = benchmark::Counter(
        double(d.doc.GetRecordCount()) * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ViewFindNoMatch)
    ->Arg(10'000)
    ->Arg(10'000'000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The document's search alone, with each combination of the match options.
void BM_DocumentFindNoMatch(benchmark::State& state) {
    SDocument& d = DocumentOf(state.range(0));
    const int bMatchCase = int(state.range(1) & 1);
    const int bWholeWord = int(state.range(1) >> 1 & 1);
    for (auto _ : state) {
        const long long n = d.doc.GetRecordCount();
        if (d.doc.FindRecordIndex(NOWHERE, bMatchCase, bWholeWord, n - 1, true) != -1)
            state.SkipWithError("found a match");
    }
    state.counters["records"] = double(d.doc.GetRecordCount());
}
BENCHMARK(BM_DocumentFindNoMatch)
    ->ArgsProduct({{10'000'000}, {0, 1, 2, 3}})
    ->ArgNames({"records", "case+2*word"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
