#include "core/file_properties.h"
#include "support/temp_tree.h"

#include <QDir>
#include <QFile>
#include <QMimeDatabase>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString currentUserName() {
    const passwd* p = ::getpwuid(::getuid());
    return p ? QString::fromLocal8Bit(p->pw_name) : QString::number(::getuid());
}

// Runs the test body in another working folder and puts the old one back.
class WorkingFolder {
public:
    explicit WorkingFolder(const QString& path) : m_old(QDir::currentPath()) {
        QDir::setCurrent(path);
    }
    ~WorkingFolder() { QDir::setCurrent(m_old); }

private:
    QString m_old;
};

TEST(FileProperties, FileFactsComeFromDisk) {
    TempTree tree;
    const QString name = QStringLiteral("a b#c%d.txt");
    const QDateTime t(QDate(2024, 2, 3), QTime(4, 5, 6), Qt::UTC);
    tree.write(name, QByteArray(1234, 'x'), t);
    ASSERT_EQ(::chmod(QFile::encodeName(tree.filePath(name)).constData(), 0640), 0);

    const auto p = readFileProperties(tree.filePath(name));
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(p->name, name);
    EXPECT_EQ(p->folder, tree.path());
    EXPECT_FALSE(p->isFolder);
    EXPECT_EQ(p->size, 1234);
    EXPECT_EQ(p->modified, t.toSecsSinceEpoch());
    EXPECT_EQ(p->mode, 0640u);
    EXPECT_EQ(p->owner, currentUserName());
    EXPECT_FALSE(p->group.isEmpty());
    const QString plainText =
        QMimeDatabase().mimeTypeForName(QStringLiteral("text/plain")).comment();
    EXPECT_FALSE(plainText.isEmpty());
    EXPECT_EQ(p->typeName, plainText);
}

TEST(FileProperties, FolderCountsEveryEntryAndIgnoresTrailingSlash) {
    TempTree tree;
    tree.write(QStringLiteral("sub/one.txt"));
    tree.write(QStringLiteral("sub/.hidden"));
    tree.mkdir(QStringLiteral("sub/inner"));
    tree.write(QStringLiteral("sub/inner/deeper.txt"));

    const auto p = readFileProperties(tree.filePath(QStringLiteral("sub")) + QLatin1Char('/'));
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(p->name, QStringLiteral("sub"));
    EXPECT_EQ(p->folder, tree.path());
    EXPECT_TRUE(p->isFolder);
    EXPECT_EQ(p->itemCount, 3) << "hidden entries and subfolders count, their contents do not";
    EXPECT_EQ(p->typeName,
              QMimeDatabase().mimeTypeForName(QStringLiteral("inode/directory")).comment());

    const auto root = readFileProperties(QStringLiteral("/"));
    ASSERT_TRUE(root.has_value());
    EXPECT_EQ(root->name, QStringLiteral("/"));
    EXPECT_EQ(root->folder, QString());
    EXPECT_TRUE(root->isFolder);
}

TEST(FileProperties, UnreadableFolderHasNoCount) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "the superuser reads every folder";
    TempTree tree;
    tree.write(QStringLiteral("locked/x"));
    const QByteArray locked = QFile::encodeName(tree.filePath(QStringLiteral("locked")));
    ASSERT_EQ(::chmod(locked.constData(), 0), 0);
    const auto p = readFileProperties(tree.filePath(QStringLiteral("locked")));
    ::chmod(locked.constData(), 0700);
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(p->itemCount, -1);
    EXPECT_EQ(p->mode, 0u);
}

TEST(FileProperties, MissingEntriesAndLinks) {
    TempTree tree;
    EXPECT_FALSE(readFileProperties(tree.filePath(QStringLiteral("none.txt"))).has_value());
    EXPECT_FALSE(readFileProperties(QString()).has_value());

    tree.write(QStringLiteral("target.txt"), "12345");
    const QString link = tree.filePath(QStringLiteral("link"));
    ASSERT_TRUE(QFile::link(tree.filePath(QStringLiteral("target.txt")), link));
    const auto followed = readFileProperties(link);
    ASSERT_TRUE(followed.has_value());
    EXPECT_EQ(followed->name, QStringLiteral("link"));
    EXPECT_EQ(followed->size, 5) << "a link is described by what it leads to";

    const QString dangling = tree.filePath(QStringLiteral("dangling"));
    ASSERT_TRUE(QFile::link(tree.filePath(QStringLiteral("gone")), dangling));
    EXPECT_TRUE(readFileProperties(dangling).has_value()) << "the link itself is there";
}

TEST(FileProperties, RelativePathsResolveAgainstWorkingFolder) {
    TempTree tree;
    tree.write(QStringLiteral("here.txt"), "1");
    WorkingFolder cwd(tree.path());

    const auto p = readFileProperties(QStringLiteral("here.txt"));
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(p->folder, tree.path());
    EXPECT_EQ(absolutePath(QStringLiteral("./x/../here.txt")),
              tree.filePath(QStringLiteral("here.txt")));

    const QUrl url = localFileUrl(QStringLiteral("a b#c%d.txt"));
    EXPECT_EQ(url.toLocalFile(), tree.filePath(QStringLiteral("a b#c%d.txt")));
    EXPECT_TRUE(url.toString(QUrl::FullyEncoded).endsWith(QStringLiteral("/a%20b%23c%25d.txt")))
        << url.toString(QUrl::FullyEncoded).toStdString();
    EXPECT_TRUE(url.fragment().isEmpty()) << "'#' is part of the name, not a fragment";
}

TEST(FileProperties, PermissionTexts) {
    const struct {
        mode_t mode;
        const char* text;
        const char* octal;
    } cases[] = {
        {0644, "rw-r--r--", "0644"},  {0755, "rwxr-xr-x", "0755"},  {0, "---------", "0000"},
        {04755, "rwsr-xr-x", "4755"}, {04644, "rwSr--r--", "4644"}, {02750, "rwxr-s---", "2750"},
        {02640, "rw-r-S---", "2640"}, {01777, "rwxrwxrwt", "1777"}, {01776, "rwxrwxrwT", "1776"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(permissionsText(c.mode), QLatin1String(c.text)) << c.octal;
        EXPECT_EQ(permissionsOctal(c.mode), QLatin1String(c.octal)) << c.text;
    }
}

} // namespace
