// A database made before an index was added gets it when a program opens
// it.
#include "TestSupport.h"

#include "database/Schema.h"
#include "platform/DBAccess.h"

#include <QTemporaryDir>

namespace {

QString One(DBAccess& db, const QString& sql) {
    RecordsetPtr rs = db.OpenRecordset(sql);
    return rs->Eof() ? QString() : rs->Fields(0).Value().Text();
}

TEST(Schema, AnExistingDatabaseGetsTheVoucherNumberIndexes) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.path() + "/old.db";
    {
        // A database as the first programs left it: without the index
        // added since.
        DBAccess db;
        ASSERT_TRUE(db.ConnectFile(file, true)) << db.ErrorText().toStdString();
        ASSERT_TRUE(Schema::Prepare(db)) << db.ErrorText().toStdString();
        ASSERT_TRUE(db.Execute("DROP INDEX IX_DNHDT_DATENO; DROP INDEX IX_DNHDT_NENDO;"))
            << db.ErrorText().toStdString();
        ASSERT_TRUE(db.Execute("INSERT INTO DNHDT (DNH_SSKCD, DNH_GRPCD, DNH_YM, DNH_DENNO, DNH_NENDO, DNH_Y, DNH_M, "
                               "DNH_DATE, DNH_NDATE) VALUES (1, 1, 202604, 1, 2026, 2026, 4, 20260401, 20260401)"))
            << db.ErrorText().toStdString();
    }
    DBAccess db;
    ASSERT_TRUE(db.ConnectFile(file, false)) << db.ErrorText().toStdString();
    ASSERT_TRUE(Schema::Prepare(db)) << db.ErrorText().toStdString();
    EXPECT_EQ(One(db, "SELECT COUNT(*) FROM sqlite_master WHERE type = 'index' AND name = 'IX_DNHDT_DATENO'"), "1");
    EXPECT_EQ(One(db, "SELECT COUNT(*) FROM sqlite_master WHERE type = 'index' AND name = 'IX_DNHDT_NENDO'"), "1");
    EXPECT_EQ(One(db, "SELECT COUNT(*) FROM SCHEMA_INFO"), "1");
    EXPECT_EQ(One(db, "SELECT COUNT(*) FROM DNHDT"), "1") << "the rows stay";

    // Opening it again adds nothing more.
    ASSERT_TRUE(Schema::Prepare(db)) << db.ErrorText().toStdString();
    EXPECT_EQ(One(db, "SELECT COUNT(*) FROM sqlite_master WHERE type = 'index' AND name = 'IX_DNHDT_DATENO'"), "1");
}

}  // namespace
