#include "database/Schema.h"

#include "platform/DbValue.h"

#include <QMap>

namespace Schema {

namespace {

// Name and columns of each index added since the first databases.
struct LaterIndex {
    const char* name;
    const char* definition;
};
const LaterIndex kLaterIndexes[] = {
    // The voucher print counts the lines of one voucher by date and number;
    // this index answers it with a key lookup and carries the header columns
    // the count also reads.
    {"IX_DNHDT_DATENO", "DNHDT (DNH_SSKCD, DNH_GRPCD, DNH_DATE, DNH_DENNO, DNH_YM, DNH_KBN, DNH_DELKBN)"},
    // Vouchers numbered per fiscal year are found by year and number: the
    // first free number of a save and the jump dialog seek here instead of
    // reading every voucher of every year of the branch and group.
    {"IX_DNHDT_NENDO", "DNHDT (DNH_SSKCD, DNH_GRPCD, DNH_NENDO, DNH_DENNO)"},
};

}  // namespace

QString LaterIndexStatements() {
    QString s;
    for (const LaterIndex& i : kLaterIndexes)
        s += QString("CREATE INDEX IF NOT EXISTS %1 ON %2;\n").arg(QLatin1String(i.name), QLatin1String(i.definition));
    return s;
}

QString CreateStatements() {
    return QString::fromUtf8(R"SQL(
-- control row of the organisation
CREATE TABLE CNTMF (
  CNT_KEY       INTEGER NOT NULL PRIMARY KEY,
  CNT_KIKBN     INTEGER NOT NULL DEFAULT 0,
  CNT_KUMINAME  TEXT
);
-- branches
CREATE TABLE SSKMF (
  SSK_CD        INTEGER NOT NULL PRIMARY KEY,
  SSK_NAME      TEXT,
  SSK_RNAME     TEXT,
  SSK_SBANKBN   INTEGER NOT NULL DEFAULT 0,
  SSK_SDNKBN    INTEGER NOT NULL DEFAULT 0,
  SSK_MTPKBN    INTEGER NOT NULL DEFAULT 0,
  SSK_MKPKBN    INTEGER NOT NULL DEFAULT 0,
  SSK_ZZIKBN    INTEGER NOT NULL DEFAULT 0
);
-- groups of a branch
CREATE TABLE GRPMF (
  GRP_SSKCD     INTEGER NOT NULL,
  GRP_CD        INTEGER NOT NULL,
  GRP_NAME      TEXT,
  GRP_RNAME     TEXT,
  GRP_KBN       INTEGER NOT NULL DEFAULT 0,
  PRIMARY KEY (GRP_SSKCD, GRP_CD)
);
-- fiscal calendar
CREATE TABLE KSKMF (
  KSK_SSKCD     INTEGER NOT NULL DEFAULT 0,
  KSK_GRPCD     INTEGER NOT NULL DEFAULT 0,
  KSK_NENDO     INTEGER NOT NULL,
  KSK_NUP       INTEGER NOT NULL DEFAULT 0,
  KSK_KSYM      INTEGER NOT NULL,
  KSK_KIST      INTEGER NOT NULL,
  KSK_KIEND     INTEGER NOT NULL,
  KSK_SIME1     INTEGER, KSK_SIME2  INTEGER, KSK_SIME3  INTEGER, KSK_SIME4  INTEGER,
  KSK_SIME5     INTEGER, KSK_SIME6  INTEGER, KSK_SIME7  INTEGER, KSK_SIME8  INTEGER,
  KSK_SIME9     INTEGER, KSK_SIME10 INTEGER, KSK_SIME11 INTEGER, KSK_SIME12 INTEGER,
  KSK_GUP       INTEGER NOT NULL DEFAULT 0,
  PRIMARY KEY (KSK_SSKCD, KSK_GRPCD, KSK_NENDO)
);
-- accounts per fiscal year
CREATE TABLE KMKMF (
  KMK_NENDO     INTEGER NOT NULL,
  KMK_CD        INTEGER NOT NULL,
  KMK_NM        TEXT,
  KMK_RNAME     TEXT,
  KMK_GRKBN     INTEGER NOT NULL DEFAULT 0,
  KMK_SSKCD     INTEGER NOT NULL DEFAULT 0,
  KMK_GRPCD     INTEGER NOT NULL DEFAULT 0,
  KMK_TSKBN     INTEGER NOT NULL DEFAULT 1,
  KMK_ZKBN      INTEGER NOT NULL DEFAULT 0,
  KMK_H1FLG     INTEGER NOT NULL DEFAULT 0,
  KMK_BUNRUI    INTEGER NOT NULL DEFAULT 0,
  KMK_SORT      INTEGER NOT NULL DEFAULT 0,
  KMK_ZOKUSEI   INTEGER NOT NULL DEFAULT 0,
  PRIMARY KEY (KMK_NENDO, KMK_CD)
);
-- sub-accounts 1 (all branches)
CREATE TABLE HK1MF (
  HK1_NENDO     INTEGER NOT NULL,
  HK1_KMKCD     INTEGER NOT NULL,
  HK1_CD        INTEGER NOT NULL,
  HK1_NM        TEXT,
  HK1_RNAME     TEXT,
  HK1_SORT      INTEGER NOT NULL DEFAULT 0,
  HK1_H2FLG     INTEGER NOT NULL DEFAULT 0,
  PRIMARY KEY (HK1_NENDO, HK1_KMKCD, HK1_CD)
);
-- sub-accounts 2 (per branch and group)
CREATE TABLE HK2MF (
  HK2_NENDO     INTEGER NOT NULL,
  HK2_KMKCD     INTEGER NOT NULL,
  HK2_HK1CD     INTEGER NOT NULL,
  HK2_CD        INTEGER NOT NULL,
  HK2_SSKCD     INTEGER NOT NULL,
  HK2_GRPCD     INTEGER NOT NULL,
  HK2_NM        TEXT,
  HK2_RNAME     TEXT,
  HK2_SORT      INTEGER NOT NULL DEFAULT 0,
  PRIMARY KEY (HK2_NENDO, HK2_KMKCD, HK2_HK1CD, HK2_CD, HK2_SSKCD, HK2_GRPCD)
);
-- business partners (per branch)
CREATE TABLE TRIMF (
  TRI_SSKCD     INTEGER NOT NULL,
  TRI_CD        INTEGER NOT NULL,
  TRI_NAME      TEXT,
  TRI_KANA      TEXT,
  PRIMARY KEY (TRI_SSKCD, TRI_CD)
);
-- users
CREATE TABLE USGMF (
  USG_ID        INTEGER NOT NULL PRIMARY KEY,
  USG_NAME      TEXT
);
-- switches
CREATE TABLE SYSTEM (
  SYS_KEY       TEXT NOT NULL PRIMARY KEY,
  SYS_VALUE     TEXT
);
-- users in user groups
CREATE TABLE UGLMF (
  UGL_UID       INTEGER NOT NULL,
  UGL_GID       INTEGER NOT NULL,
  PRIMARY KEY (UGL_UID, UGL_GID)
);
-- menu entries
CREATE TABLE MNUMF (
  MNU_MEID      INTEGER NOT NULL PRIMARY KEY,
  MNU_PGID      TEXT,
  MNU_UPID      INTEGER NOT NULL DEFAULT 0,
  MNU_NAME      TEXT
);
-- permissions of user groups on menu entries per branch
CREATE TABLE SECMF (
  SEC_USGID     INTEGER NOT NULL,
  SEC_MNUID     INTEGER NOT NULL,
  SEC_SSKCD     INTEGER NOT NULL,
  SEC_PERM      INTEGER NOT NULL DEFAULT 0,
  PRIMARY KEY (SEC_USGID, SEC_MNUID, SEC_SSKCD)
);
-- holidays (date numbers yyyymmdd)
CREATE TABLE CRNMF (
  CRN_DT        INTEGER NOT NULL PRIMARY KEY,
  CRN_NAME      TEXT
);
-- tax codes with validity periods
CREATE TABLE ZEIMF (
  ZEI_CD        INTEGER NOT NULL,
  ZEI_DATEST    INTEGER NOT NULL,
  ZEI_DATEEND   INTEGER NOT NULL,
  ZEI_KBN       INTEGER NOT NULL DEFAULT 0,
  ZEI_RITU      NUMERIC NOT NULL DEFAULT 0,
  ZEI_NAME      TEXT,
  PRIMARY KEY (ZEI_CD, ZEI_DATEST)
);
-- standard descriptions (per branch)
CREATE TABLE TEKMF (
  TEK_SSKCD     INTEGER NOT NULL,
  TEK_CD        INTEGER NOT NULL,
  TEK_NAME      TEXT,
  TEK_SORT      INTEGER NOT NULL DEFAULT 0,
  TEK_UPDDATE   TEXT,
  TEK_UPDTANCD  INTEGER,
  PRIMARY KEY (TEK_SSKCD, TEK_CD)
);
-- voucher templates
CREATE TABLE TSHMF (
  TSH_SSKCD     INTEGER NOT NULL,
  TSH_GRPCD     INTEGER NOT NULL,
  TSH_KEY       INTEGER NOT NULL,
  TSH_NAME      TEXT,
  TSH_DTEKIYO   TEXT,
  TSH_SORT      INTEGER NOT NULL DEFAULT 0,
  TSH_KBN       INTEGER NOT NULL DEFAULT 0,
  TSH_UPDDATE   TEXT,
  TSH_UPDTANCD  INTEGER,
  PRIMARY KEY (TSH_SSKCD, TSH_GRPCD, TSH_KEY)
);
CREATE TABLE TSMMF (
  TSM_SSKCD     INTEGER NOT NULL,
  TSM_GRPCD     INTEGER NOT NULL,
  TSM_KEY       INTEGER NOT NULL,
  TSM_GYO       INTEGER NOT NULL,
  TSM_TSKBN     INTEGER NOT NULL,
  TSM_KMKCD     INTEGER NOT NULL DEFAULT 0,
  TSM_HK1CD     INTEGER NOT NULL DEFAULT 0,
  TSM_HK2CD     INTEGER NOT NULL DEFAULT 0,
  TSM_ZKBN      INTEGER NOT NULL DEFAULT 0,
  TSM_KIN       NUMERIC NOT NULL DEFAULT 0,
  TSM_TAX       NUMERIC NOT NULL DEFAULT 0,
  TSM_TRICD     INTEGER NOT NULL DEFAULT 0,
  TSM_TEKIYO    TEXT,
  PRIMARY KEY (TSM_SSKCD, TSM_GRPCD, TSM_KEY, TSM_TSKBN, TSM_GYO)
);
-- voucher number counters
CREATE TABLE DENMF (
  DEN_KBN       INTEGER NOT NULL,
  DEN_SSKCD     INTEGER NOT NULL,
  DEN_GRPCD     INTEGER NOT NULL,
  DEN_YM        INTEGER NOT NULL,
  DEN_NO        INTEGER NOT NULL DEFAULT 0,
  PRIMARY KEY (DEN_KBN, DEN_SSKCD, DEN_GRPCD, DEN_YM)
);
-- voucher headers
CREATE TABLE DNHDT (
  DNH_SSKCD     INTEGER NOT NULL,
  DNH_GRPCD     INTEGER NOT NULL,
  DNH_YM        INTEGER NOT NULL,
  DNH_DENNO     INTEGER NOT NULL,
  DNH_NENDO     INTEGER NOT NULL,
  DNH_Y         INTEGER NOT NULL,
  DNH_M         INTEGER NOT NULL,
  DNH_DATE      INTEGER NOT NULL,
  DNH_NDATE     INTEGER NOT NULL,
  DNH_TANCD     INTEGER NOT NULL DEFAULT 0,
  DNH_DTEKIYO   TEXT,
  DNH_KBN       INTEGER NOT NULL DEFAULT 0,
  DNH_UPDDATE   TEXT,
  DNH_UPDTANCD  INTEGER,
  DNH_DELKBN    INTEGER NOT NULL DEFAULT 0,
  PRIMARY KEY (DNH_SSKCD, DNH_GRPCD, DNH_YM, DNH_DENNO)
);
-- voucher lines
CREATE TABLE DNMDT (
  DNM_SSKCD     INTEGER NOT NULL,
  DNM_GRPCD     INTEGER NOT NULL,
  DNM_YM        INTEGER NOT NULL,
  DNM_DENNO     INTEGER NOT NULL,
  DNM_GYO       INTEGER NOT NULL,
  DNM_TSKBN     INTEGER NOT NULL,
  DNM_KMKCD     INTEGER NOT NULL DEFAULT 0,
  DNM_HK1CD     INTEGER NOT NULL DEFAULT 0,
  DNM_HK2CD     INTEGER NOT NULL DEFAULT 0,
  DNM_ZKBN      INTEGER NOT NULL DEFAULT 0,
  DNM_KIN       NUMERIC NOT NULL DEFAULT 0,
  DNM_TAX       NUMERIC NOT NULL DEFAULT 0,
  DNM_TRICD     INTEGER NOT NULL DEFAULT 0,
  DNM_AKMKCD    INTEGER NOT NULL DEFAULT 0,
  DNM_AHK1CD    INTEGER NOT NULL DEFAULT 0,
  DNM_AHK2CD    INTEGER NOT NULL DEFAULT 0,
  DNM_TEKIYO    TEXT,
  PRIMARY KEY (DNM_SSKCD, DNM_GRPCD, DNM_YM, DNM_DENNO, DNM_GYO, DNM_TSKBN)
);
-- designated accounts (21 input tax, 20 output tax)
CREATE TABLE KKMMF (
  KKM_NENDO     INTEGER NOT NULL,
  KKM_KBN       INTEGER NOT NULL,
  KKM_KMKCD     INTEGER NOT NULL DEFAULT 0,
  PRIMARY KEY (KKM_NENDO, KKM_KBN)
);
-- monthly balances per account, sub-account 1, sub-account 2
CREATE TABLE KMZMF (
  KMZ_YM        INTEGER NOT NULL,
  KMZ_SSKCD     INTEGER NOT NULL,
  KMZ_GRPCD     INTEGER NOT NULL,
  KMZ_KMKCD     INTEGER NOT NULL,
  KMZ_NENDO     INTEGER NOT NULL,
  KMZ_ZZAN      NUMERIC NOT NULL DEFAULT 0,
  KMZ_KARI      NUMERIC NOT NULL DEFAULT 0,
  KMZ_KASI      NUMERIC NOT NULL DEFAULT 0,
  PRIMARY KEY (KMZ_YM, KMZ_SSKCD, KMZ_GRPCD, KMZ_KMKCD)
);
CREATE TABLE H1ZMF (
  H1Z_YM        INTEGER NOT NULL,
  H1Z_SSKCD     INTEGER NOT NULL,
  H1Z_GRPCD     INTEGER NOT NULL,
  H1Z_KMKCD     INTEGER NOT NULL,
  H1Z_HK1CD     INTEGER NOT NULL,
  H1Z_NENDO     INTEGER NOT NULL,
  H1Z_ZZAN      NUMERIC NOT NULL DEFAULT 0,
  H1Z_KARI      NUMERIC NOT NULL DEFAULT 0,
  H1Z_KASI      NUMERIC NOT NULL DEFAULT 0,
  PRIMARY KEY (H1Z_YM, H1Z_SSKCD, H1Z_GRPCD, H1Z_KMKCD, H1Z_HK1CD)
);
CREATE TABLE H2ZMF (
  H2Z_YM        INTEGER NOT NULL,
  H2Z_SSKCD     INTEGER NOT NULL,
  H2Z_GRPCD     INTEGER NOT NULL,
  H2Z_KMKCD     INTEGER NOT NULL,
  H2Z_HK1CD     INTEGER NOT NULL,
  H2Z_HK2CD     INTEGER NOT NULL,
  H2Z_NENDO     INTEGER NOT NULL,
  H2Z_ZZAN      NUMERIC NOT NULL DEFAULT 0,
  H2Z_KARI      NUMERIC NOT NULL DEFAULT 0,
  H2Z_KASI      NUMERIC NOT NULL DEFAULT 0,
  PRIMARY KEY (H2Z_YM, H2Z_SSKCD, H2Z_GRPCD, H2Z_KMKCD, H2Z_HK1CD, H2Z_HK2CD)
);
-- budgets and the budget check setting
CREATE TABLE YOSDT (
  YOS_NENDO     INTEGER NOT NULL,
  YOS_SSKCD     INTEGER NOT NULL,
  YOS_GRPCD     INTEGER NOT NULL,
  YOS_KMKCD     INTEGER NOT NULL,
  YOS_HK1CD     INTEGER NOT NULL DEFAULT 0,
  YOS_HK2CD     INTEGER NOT NULL DEFAULT 0,
  YOS_KIN       NUMERIC NOT NULL DEFAULT 0,
  PRIMARY KEY (YOS_NENDO, YOS_SSKCD, YOS_GRPCD, YOS_KMKCD, YOS_HK1CD, YOS_HK2CD)
);
CREATE TABLE YCHMF (
  YCH_NENDO     INTEGER NOT NULL,
  YCH_SSKCD     INTEGER NOT NULL,
  YCH_GRPCD     INTEGER NOT NULL,
  YCH_KMKCD     INTEGER NOT NULL,
  YCH_CHKFG     INTEGER NOT NULL DEFAULT 0,
  PRIMARY KEY (YCH_NENDO, YCH_SSKCD, YCH_GRPCD, YCH_KMKCD)
);

-- live vouchers: header joined with each line; deleted ones left out
CREATE VIEW V_DENDT AS
SELECT DNH_SSKCD, DNH_GRPCD, DNH_YM, DNH_DENNO, DNH_NENDO, DNH_Y, DNH_M,
       DNH_DATE, DNH_NDATE, DNH_TANCD, DNH_DTEKIYO, DNH_KBN, DNH_UPDDATE,
       DNH_UPDTANCD, DNH_DELKBN,
       DNM_GYO, DNM_TSKBN, DNM_KMKCD, DNM_HK1CD, DNM_HK2CD, DNM_ZKBN,
       DNM_KIN, DNM_TAX, DNM_TRICD, DNM_AKMKCD, DNM_AHK1CD, DNM_AHK2CD,
       DNM_TEKIYO
  FROM DNHDT
 INNER JOIN DNMDT
    ON DNM_SSKCD = DNH_SSKCD
   AND DNM_GRPCD = DNH_GRPCD
   AND DNM_YM    = DNH_YM
   AND DNM_DENNO = DNH_DENNO
 WHERE COALESCE(DNH_DELKBN, 0) <> 9;

CREATE INDEX IX_DNHDT_DATE  ON DNHDT (DNH_SSKCD, DNH_GRPCD, DNH_DATE);
CREATE INDEX IX_DNHDT_NDATE ON DNHDT (DNH_SSKCD, DNH_GRPCD, DNH_NDATE);
)SQL") + LaterIndexStatements() + QString::fromUtf8(R"SQL(
CREATE INDEX IX_DNMDT_KMK   ON DNMDT (DNM_SSKCD, DNM_GRPCD, DNM_KMKCD, DNM_YM);
CREATE INDEX IX_KSKMF_KIST  ON KSKMF (KSK_SSKCD, KSK_GRPCD, KSK_KIST, KSK_KIEND);
CREATE INDEX IX_ZEIMF_DATE  ON ZEIMF (ZEI_CD, ZEI_DATEST, ZEI_DATEEND);

CREATE TABLE SCHEMA_INFO (
  SCH_VERSION   INTEGER NOT NULL
);
)SQL") + "INSERT INTO SCHEMA_INFO (SCH_VERSION) VALUES (" + QString::number(Version) + ");\n";
}

bool Prepare(DBAccess& db) {
    RegisterProcedures(db);
    try {
        const QStringList tables = db.TableNames();
        if (tables.contains("SCHEMA_INFO", Qt::CaseInsensitive)) {
            RecordsetPtr v = db.OpenRecordset("SELECT MAX(SCH_VERSION) FROM SCHEMA_INFO");
            int found = v->Eof() ? 0 : v->Fields(0).Value().Text().toInt();
            if (found > Version) {
                db.SetError(adErrCommand, "このデータベースは新しい版のプログラムで作成されています。(版 " +
                                              QString::number(found) + ")");
                return false;
            }
            // A database made before an index was added gets it now. The
            // indexes only make work faster: one that cannot be added (a
            // read-only file) stops nothing.
            const QStringList indexes = db.IndexNames();
            for (const LaterIndex& i : kLaterIndexes) {
                if (indexes.contains(QLatin1String(i.name), Qt::CaseInsensitive)) continue;
                db.Execute(QString("CREATE INDEX IF NOT EXISTS %1 ON %2").arg(QLatin1String(i.name),
                                                                           QLatin1String(i.definition)));
            }
            return true;
        }
        if (!tables.isEmpty()) {
            db.SetError(adErrCommand, "このデータベースには本システムの表がありません: " + db.DatabaseFile());
            return false;
        }
    } catch (const AppError&) {
        return false;
    }
    db.BeginTrans();
    if (!db.Execute(CreateStatements())) {
        long n = db.ErrorNumber();
        QString t = db.ErrorText();
        db.RollbackTrans();
        db.SetError(n, t);
        return false;
    }
    db.CommitTrans();
    return true;
}

}  // namespace Schema
