#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <memory>

#include "components/inifile.h"
#include "components/screen.h"
#include "components/strings.h"
#include "platform/gui/messagebox.h"

namespace mv {
namespace {

QByteArray read_all(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void write_all(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(bytes);
}

class IniTest : public ::testing::Test {
 protected:
  QString path(const QString& name = QStringLiteral("Test.INI")) const { return dir_.filePath(name); }
  QTemporaryDir dir_;
};

TEST_F(IniTest, ValuesLoseSurroundingBlanksAndStopAt1023Characters) {
  write_all(path(), "[Setup]\nDriver=DBFCDX   \nLeer=   \nLang=" + QByteArray(1200, 'x') +
                        "\nVorne=   a b  \nZahl= -42x\n");
  INIFILESPEC ini(path());
  EXPECT_EQ(ini.GETSTRING("Setup", "Driver"), "DBFCDX");
  EXPECT_EQ(ini.GETSTRING("Setup", "Leer"), "");
  EXPECT_EQ(ini.GETSTRING("Setup", "Lang"), QString(1023, 'x'));
  EXPECT_EQ(ini.GETSTRING("Setup", "Vorne"), "a b");
  EXPECT_EQ(ini.GETSTRING("Setup", "Fehlt"), "");
  EXPECT_EQ(ini.GETSTRING("Fehlt", "Driver"), "");
  EXPECT_EQ(ini.GETSTRINGUPPER("Setup", "Driver"), "DBFCDX");
  EXPECT_EQ(ini.GETINT("Setup", "Zahl"), -42);
  EXPECT_EQ(ini.GETINT("Setup", "Driver"), 0);
  EXPECT_EQ(INIFILESPEC(path("fehlt.ini")).GETSTRING("Setup", "Driver"), "");
}

TEST_F(IniTest, NamesCompareWithoutCaseAndExistingLinesKeepTheirSpelling) {
  write_all(path(), "; Kommentar\n[setup]\ndriver=x\nToolbarIcon=Ja\n\n[Runtime]\nVersion=1\n");
  INIFILESPEC ini(path());
  EXPECT_EQ(ini.GETSTRING("Setup", "Driver"), "x");
  EXPECT_EQ(ini.GETSTRING(" SETUP ", "DRIVER"), "x");
  ini.WRITESTRING("SETUP", "DRIVER", "y").WRITESTRING("Setup", "ToolBarIcon", "Nein");
  ini.WRITESTRING("Setup", "Neu", "1");  // after the section's last key, before the blank line
  ini.WRITESTRING("Neu/Pfad\\X.DBF", "Anzahl", "3");  // a new section goes to the end
  EXPECT_TRUE(ini.last_write_ok());
  EXPECT_EQ(read_all(path()),
            "; Kommentar\n[setup]\ndriver=y\nToolbarIcon=Nein\nNeu=1\n\n[Runtime]\nVersion=1\n"
            "[Neu/Pfad\\X.DBF]\nAnzahl=3\n");
  EXPECT_EQ(ini.GETSTRING("neu/pfad\\x.dbf", "ANZAHL"), "3");
}

TEST_F(IniTest, DeletingAndListingKeys) {
  write_all(path(), "[A]\nk1=1\nk2=2\n[B]\nk=3\n[C]\nk=4\n");
  INIFILESPEC ini(path());
  ini.DELETEENTRY("a", "K1");
  EXPECT_EQ(ini.GETSTRING("A", "k1"), "");
  EXPECT_EQ(ini.GETSTRING("A", "k2"), "2");
  ini.DELETESECTION("b");
  EXPECT_EQ(read_all(path()), "[A]\nk2=2\n[C]\nk=4\n");
  ini.DELETEENTRY("Fehlt", "k").DELETESECTION("Fehlt");
  EXPECT_EQ(read_all(path()), "[A]\nk2=2\n[C]\nk=4\n");

  QByteArray many = "[Spalten]\n";
  for (int i = 1; i <= 200; ++i) many += "Spalte" + QByteArray::number(i) + "=" + QByteArray::number(i) + ",1,Kopf,20\n";
  write_all(path(), many);
  QList<QStringList> rows = ini.GETSECTION("SPALTEN");
  ASSERT_EQ(rows.size(), 200);  // no cut at 1024 bytes of key names
  EXPECT_EQ(rows[199], (QStringList{"Spalte200", "200,1,Kopf,20"}));
  EXPECT_TRUE(ini.GETSECTION("Fehlt").isEmpty());
}

TEST_F(IniTest, CrOrLfWrittenBecomeBlanksAndSectionsMayHoldBrackets) {
  INIFILESPEC ini(path());
  ini.WRITESTRING("Sek\r\ntion", "Schl\nüssel", "Zeile 1\r\nZeile 2");
  ini.WRITESTRING("/daten/a]b/K.DBF", "Anzahl", "1");
  EXPECT_EQ(QString::fromUtf8(read_all(path())),
            "[Sek  tion]\nSchl üssel=Zeile 1  Zeile 2\n[/daten/a]b/K.DBF]\nAnzahl=1\n");
  EXPECT_EQ(ini.GETSTRING("/daten/a]b/K.DBF", "Anzahl"), "1");
  ini.WRITESTRING("/daten/a]b/K.DBF", "Anzahl", "2");
  EXPECT_EQ(ini.GETSTRING("/DATEN/A]B/k.dbf", "anzahl"), "2");
  QList<QStringList> all = GETALLSECTION(path());
  ASSERT_EQ(all.size(), 2);
  EXPECT_EQ(all[1], (QStringList{"/daten/a]b/K.DBF", "", ""}));
}

TEST_F(IniTest, EncodingLineEndsAndChangesByOthers) {
  // A file from Windows: Windows-1252 with CR LF. It is read, and rewritten as UTF-8
  // with its CR LF kept.
  write_all(path(), "[Liste]\r\nZusatzText=Gr\xfc\xdf" "e\r\n");
  INIFILESPEC ini(path());
  EXPECT_EQ(ini.GETSTRING("Liste", "ZusatzText"), QString::fromUtf8("Grüße"));
  ini.WRITESTRING("Liste", "Schrift", QString::fromUtf8("Ä"));
  EXPECT_EQ(read_all(path()), "[Liste]\r\nZusatzText=Gr\xc3\xbc\xc3\x9f" "e\r\nSchrift=\xc3\x84\r\n");
  // Another program changes the file: the next read sees it.
  write_all(path(), "[Liste]\nZusatzText=neu und l\xc3\xa4nger\n");
  EXPECT_EQ(ini.GETSTRING("Liste", "ZusatzText"), QString::fromUtf8("neu und länger"));
  write_all(path(), "[Liste]\nZusatzText=kurz\n");
  EXPECT_EQ(ini.GETSTRING("Liste", "ZusatzText"), "kurz");
}

TEST_F(IniTest, WritingIntoAMissingFolderFailsQuietly) {
  INIFILESPEC ini(dir_.filePath("fehlt/Test.INI"));
  ini.WRITESTRING("Setup", "Driver", "DBFCDX");
  EXPECT_FALSE(ini.last_write_ok());
  EXPECT_FALSE(QFile::exists(dir_.filePath("fehlt/Test.INI")));
  EXPECT_EQ(ini.GETSTRING("Setup", "Driver"), "");
  INIFILESPEC created(path("neu.ini"));
  created.WRITEINT("Setup", "Zahl", -7);
  EXPECT_EQ(read_all(path("neu.ini")), "[Setup]\nZahl=-7\n");
}

TEST_F(IniTest, RelativeNameIsBoundAtConstruction) {
  const QString before = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(dir_.path()));
  INIFILESPEC ini("Molvane.INI");
  QTemporaryDir other;
  ASSERT_TRUE(QDir::setCurrent(other.path()));
  ini.WRITESTRING("Setup", "Driver", "DBFNTX");
  QDir::setCurrent(before);
  EXPECT_EQ(ini.FULLPATH(), dir_.path() + "/Molvane.INI");
  EXPECT_TRUE(QFile::exists(dir_.filePath("Molvane.INI")));
  EXPECT_FALSE(QFile::exists(other.filePath("Molvane.INI")));
}

TEST_F(IniTest, CreateEmptiesTheFileExceptForWin) {
  write_all(path("a.ini"), "[A]\nk=1\n");
  write_all(path("win.ini"), "[A]\nk=1\n");
  INIFILESPEC a(path("a.ini"));
  EXPECT_EQ(a.GETSTRING("A", "k"), "1");
  a.CREATE();
  EXPECT_EQ(QFileInfo(path("a.ini")).size(), 0);
  EXPECT_EQ(a.GETSTRING("A", "k"), "");
  INIFILESPEC(path("win.ini")).CREATE();
  EXPECT_EQ(read_all(path("win.ini")), "[A]\nk=1\n");
}

TEST_F(IniTest, GetAllSectionReadsTheRawFile) {
  gui::RecordingMessageBoxes boxes;
  write_all(path(), " [A]\n[]\n[B]x]\n[C:\\X.DBF]\r\nkey=[D]\n[" + QByteArray(3000, 'p') + "]\n");
  QList<QStringList> rows = GETALLSECTION(path());
  ASSERT_EQ(rows.size(), 3);
  EXPECT_EQ(rows[0], (QStringList{"B]x", "", ""}));
  EXPECT_EQ(rows[1], (QStringList{"C:\\X.DBF", "", ""}));
  EXPECT_EQ(rows[2][0].size(), 3000);  // long table paths are not cut
  EXPECT_TRUE(GETALLSECTION(path("fehlt.ini")).isEmpty());
  EXPECT_EQ(boxes.count(), 0);
  // A file that exists but cannot be opened: the warning names that file.
  ASSERT_TRUE(QDir(dir_.path()).mkdir("Ordner.INI"));
  EXPECT_TRUE(GETALLSECTION(path("Ordner.INI")).isEmpty());
  ASSERT_EQ(boxes.count(), 1);
  EXPECT_EQ(boxes.last().caption, "Achtung");
  EXPECT_EQ(boxes.last().text, "Die Datei " + path("Ordner.INI") + QString::fromUtf8(" konnte nicht geöffnet werden!"));
}

TEST(Token, FieldsOfADelimitedText) {
  struct { QString text; int n; QString delim; QString expected; } cases[] = {
      {"a,,b", 1, ",", "a"}, {"a,,b", 2, ",", ""}, {"a,,b", 3, ",", "b"}, {"a,,b", 4, ",", ""},
      {"abc", 1, ",", "abc"}, {"a;b", 0, ";", "a"}, {"a;b", 2, ";", "b"}, {" a , b ", 2, ",", " b "},
      {"\"x,y\"", 2, ",", "y\""}, {"", 1, ",", ""}, {"3,2,Kunde,20", 3, ",", "Kunde"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.toStdString() + " " + std::to_string(c.n));
    EXPECT_EQ(TOKEN(c.text, c.n, c.delim), c.expected);
  }
  EXPECT_EQ(TOKEN("a,b", 2), "b");
}

TEST(MySplitPath, PartsOfAPath) {
  struct { QString path, drive, dir, name, ext; } cases[] = {
      {"C:\\DATEN\\KUNDEN.DBF", "C:", "\\DATEN\\", "KUNDEN", ".DBF"},
      {"KUNDEN.DBF", "", "", "KUNDEN", ".DBF"},
      {"A.B.DBF", "", "", "A.B", ".DBF"},
      {"C:\\DATEN\\", "C:", "\\DATEN\\", "", ""},
      {"/home/u/k.dbf", "", "/home/u/", "k", ".dbf"},
      {"\\\\server\\share\\t.dbf", "", "\\\\server\\share\\", "t", ".dbf"},
      {"/home/u.v/kunden", "", "/home/u.v/", "kunden", ""},
      {"C:K.DBF", "C:", "", "K", ".DBF"},
      {"/a/b.verylongext", "", "/a/", "b", ".verylo"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path.toStdString());
    QString drive = "x", dir = "x", name = "x", ext = "x";
    MYSPLITPATH(c.path, drive, dir, name, ext);
    EXPECT_EQ(drive, c.drive);
    EXPECT_EQ(dir, c.dir);
    EXPECT_EQ(name, c.name);
    EXPECT_EQ(ext, c.ext);
  }
  QString drive, dir, name, ext;
  MYSPLITPATH("/" + QString(300, 'd') + "/" + QString(300, 'n') + ".dbf", drive, dir, name, ext);
  EXPECT_EQ(dir.size(), 255);
  EXPECT_EQ(name.size(), 255);
}

}  // namespace
}  // namespace mv
