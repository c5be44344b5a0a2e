#include <QTest>
class FrmWordSearchTest : public QObject {
    Q_OBJECT
};
QTEST_MAIN(FrmWordSearchTest)
#include "test_frmword_search.moc"
