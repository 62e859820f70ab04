#include "open_failure.h"

#include "file_names.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSerialPortInfo>
#include <QStringList>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const QString& PickAnAdapter()
{
    static const QString text = QStringLiteral("Escolha o dispositivo do adaptador serial, como /dev/ttyUSB0 ou /dev/ttyACM0.");
    return text;
}

const QString& CloseTheOther()
{
    static const QString text = QStringLiteral("Feche o outro programa e tente de novo.");
    return text;
}

QString SystemText(int error)
{
    return qt_error_string(error);
}

// The longest name (one path component) and path the kernel takes.
constexpr int MaxName = NAME_MAX;
constexpr int MaxPath = PATH_MAX - 1;

TOpenProblem TooLong(const QByteArray& local)
{
    for (const QByteArray& part : local.split('/')) {
        if (part.size() > MaxName)
            return {QStringLiteral("o caminho tem um nome de %1 bytes, e o Linux aceita até %2 em cada nome")
                        .arg(part.size())
                        .arg(MaxName),
                    {}};
    }
    return {QStringLiteral("o caminho tem %1 bytes, e o Linux aceita até %2").arg(local.size()).arg(MaxPath), {}};
}

// The bytes a port name stands for (file_names.h).
std::string NameBytes(const QString& name)
{
    return EncodeFileName(name.toStdU16String());
}

TOpenProblem NotFound(const QString& path, const QByteArray& local)
{
    struct stat link {};
    if (::lstat(local.constData(), &link) == 0 && S_ISLNK(link.st_mode)) {
        // A link left behind by a device (or a simulator) that went away.
        const QString target = QFileInfo(path).symLinkTarget();
        return {QStringLiteral("dispositivo não encontrado (%1 é um link simbólico para %2, que não existe)").arg(path, target),
                MissingDeviceAdvice(PresentSerialPorts())};
    }
    return {QStringLiteral("dispositivo não encontrado"), MissingDeviceAdvice(PresentSerialPorts())};
}

QString KindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return QStringLiteral("um arquivo comum");
    if (S_ISDIR(mode))
        return QStringLiteral("uma pasta");
    if (S_ISFIFO(mode))
        return QStringLiteral("um FIFO (pipe com nome)");
    if (S_ISSOCK(mode))
        return QStringLiteral("um socket");
    if (S_ISBLK(mode))
        return QStringLiteral("um dispositivo de blocos (um disco)");
    return QStringLiteral("algo que não é um dispositivo de caracteres");
}

TOpenProblem NotASerialPort(const QString& path, const QString& what)
{
    return {QStringLiteral("%1 é %2, não uma porta serial").arg(path, what), PickAnAdapter()};
}

QString UserName(uid_t uid)
{
    std::vector<char> buffer(16384);
    passwd entry {};
    passwd* found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return QString::fromLocal8Bit(found->pw_name);
    return QString::number(uid);
}

struct TGroup {
    QString Name;
    QStringList Members;
};

TGroup GroupOf(gid_t gid)
{
    std::vector<char> buffer(65536);
    group entry {};
    group* found = nullptr;
    if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return {QString::number(gid), {}};
    TGroup g{QString::fromLocal8Bit(found->gr_name), {}};
    for (char** m = found->gr_mem; m && *m; ++m)
        g.Members << QString::fromLocal8Bit(*m);
    return g;
}

bool ProcessHasGroup(gid_t gid)
{
    if (::getegid() == gid)
        return true;
    const int count = ::getgroups(0, nullptr);
    if (count <= 0)
        return false;
    std::vector<gid_t> groups(static_cast<size_t>(count));
    const int got = ::getgroups(count, groups.data());
    for (int i = 0; i < got; ++i) {
        if (groups[size_t(i)] == gid)
            return true;
    }
    return false;
}

// The user of this process is in the group in the system's database (as a
// member, or as the primary group) but this process does not carry it:
// the session started before the user was added.
bool InGroupSinceLogin(gid_t gid, const TGroup& group)
{
    if (ProcessHasGroup(gid))
        return false;
    std::vector<char> buffer(16384);
    passwd entry {};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return false;
    return found->pw_gid == gid || group.Members.contains(QString::fromLocal8Bit(found->pw_name));
}

TOpenProblem NoPermission(const struct stat& st)
{
    const TGroup group = GroupOf(st.st_gid);
    const QString mode = QStringLiteral("%1").arg(st.st_mode & 07777, 4, 8, QLatin1Char('0'));
    return {QStringLiteral("sem permissão para ler o dispositivo (dono %1, grupo %2, permissões %3)")
                .arg(UserName(st.st_uid), group.Name, mode),
            PermissionAdvice(group.Name, (st.st_mode & S_IRGRP) != 0, InGroupSinceLogin(st.st_gid, group))};
}

TOpenProblem NoPermission(const QString& device)
{
    struct stat st {};
    if (::stat(NameBytes(device).c_str(), &st) != 0)
        return {QStringLiteral("sem permissão para abrir o dispositivo"), PermissionAdvice({}, false, false)};
    return NoPermission(st);
}

// Qt's own rules for its lock file: the name drops "/dev/" and turns
// every '/' into '_'; the file goes in the first of these folders that can
// be read and already holds it or can be written.
QString QtLockName(const QString& device)
{
    QString name = device.startsWith(QLatin1String("/dev/")) ? device.mid(5) : device;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return QStringLiteral("LCK..") + name;
}

QString QtLockPath(const QString& device)
{
    static const char* const folders[] = {"/var/lock", "/etc/locks",        "/var/spool/locks", "/var/spool/uucp",
                                          "/tmp",      "/var/tmp",          "/var/lock/lockdev", "/run/lock"};
    const QString name = QtLockName(device);
    for (const char* folder : folders) {
        const QFileInfo dir(QString::fromLatin1(folder));
        const QString file = dir.filePath() + QLatin1Char('/') + name;
        if (dir.isReadable() && (QFile::exists(file) || dir.isWritable()))
            return file;
    }
    return {};
}

TOpenProblem HeldByQtLock(const QString& device)
{
    const TOpenProblem problem{QStringLiteral("a porta está em uso por outro programa"),
                               CloseTheOther()};
    const QString path = QtLockPath(device);
    if (path.isEmpty())
        return problem;
    qint64 pid = 0;
    QString host;
    QString application;
    if (!QLockFile(path).getLockInfo(&pid, &host, &application))
        return problem;
    return {QStringLiteral("%1 (%2, processo %3; trava %4)")
                .arg(problem.Reason, application.isEmpty() ? QStringLiteral("sem nome") : application)
                .arg(pid)
                .arg(path),
            problem.Advice};
}

// The errno whose text Qt reported, among those that say something here;
// 0 when the text is none of them.
int ErrnoOf(const QString& errorText)
{
    for (int error : {EACCES, EPERM, EBUSY, ENOTTY, ENOENT, ENODEV, ENXIO, EIO}) {
        if (errorText == SystemText(error))
            return error;
    }
    return 0;
}


} // namespace

QString PermissionAdvice(const QString& group, bool groupMayRead, bool inGroupSinceLogin)
{
    if (inGroupSinceLogin)
        return QStringLiteral("Seu usuário já está no grupo %1, mas esta sessão começou antes disso: "
                              "saia e entre de novo na sessão.")
            .arg(group);
    if (groupMayRead && !group.isEmpty() && group != QLatin1String("root"))
        return QStringLiteral("Adicione seu usuário ao grupo %1 (sudo usermod -aG %1 $USER) e entre de novo na "
                              "sessão, ou dê o dispositivo ao grupo dialout com a regra udev do README.")
            .arg(group);
    return QStringLiteral("Dê o dispositivo ao grupo dialout com a regra udev do README (MODE=\"0660\", "
                          "GROUP=\"dialout\") e adicione seu usuário a esse grupo (sudo usermod -aG dialout $USER), "
                          "entrando de novo na sessão.");
}

TOpenProblem DeviceProblem(const QString& path)
{
    if (path.trimmed().isEmpty())
        return {QStringLiteral("o nome da porta está vazio"), PickAnAdapter()};
    const QByteArray local = QByteArray::fromStdString(NameBytes(path));
    struct stat st {};
    if (::stat(local.constData(), &st) != 0) {
        switch (errno) {
        case ENOENT:
            return NotFound(path, local);
        case ENOTDIR:
            return {QStringLiteral("dispositivo não encontrado (uma parte do caminho não é uma pasta)"), {}};
        case ENAMETOOLONG:
            return TooLong(local);
        case ELOOP:
            return {QStringLiteral("o caminho tem links simbólicos em ciclo"), {}};
        case EACCES:
            return {QStringLiteral("sem permissão para chegar ao dispositivo: uma pasta do caminho não deixa passar"),
                    {}};
        default:
            return {SystemText(errno), {}};
        }
    }
    if (!S_ISCHR(st.st_mode))
        return NotASerialPort(path, KindOf(st.st_mode));
    if (::faccessat(AT_FDCWD, local.constData(), R_OK, AT_EACCESS) != 0 && errno == EACCES)
        return NoPermission(st);
    const QString lockName = QtLockName(DevicePathToOpen(path));
    if (QFile::encodeName(lockName).size() > MaxName)
        return {QStringLiteral("o arquivo de trava que o Qt cria para a porta teria um nome de %1 bytes, e o Linux "
                               "aceita até %2")
                    .arg(QFile::encodeName(lockName).size())
                    .arg(MaxName),
                QStringLiteral("Use um caminho mais curto para o dispositivo.")};
    return {};
}

QString PortErrorReason(QSerialPort::SerialPortError error, const QString& systemText)
{
    QString reason;
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        reason = QStringLiteral("dispositivo não encontrado");
        break;
    case QSerialPort::PermissionError:
        reason = QStringLiteral("acesso negado (sem permissão, ou a porta já está em uso)");
        break;
    case QSerialPort::OpenError:
        reason = QStringLiteral("a porta já está aberta");
        break;
    case QSerialPort::UnsupportedOperationError:
        reason = QStringLiteral("configuração não suportada pelo dispositivo");
        break;
    case QSerialPort::ResourceError:
        reason = QStringLiteral("o dispositivo não está disponível");
        break;
    default:
        reason = QStringLiteral("erro de comunicação");
        break;
    }
    if (!systemText.isEmpty())
        reason += QStringLiteral(" (%1)").arg(systemText);
    return reason;
}

QString DevicePathToOpen(const QString& path)
{
    // By the name's own bytes: QFileInfo would resolve another name when
    // they are not valid UTF-8.
    if (char* resolved = ::realpath(NameBytes(path).c_str(), nullptr)) {
        const QString canonical = QString::fromStdU16String(DecodeFileName(resolved));
        std::free(resolved);
        return canonical;
    }
    return QFileInfo(path).absoluteFilePath();
}

TOpenProblem OpenFailure(const QString& device, QSerialPort::SerialPortError error, const QString& errorText)
{
    if (errorText == QSerialPort::tr("Permission error while locking the device"))
        return HeldByQtLock(device);
    if (errorText == QSerialPort::tr("Permission error while creating lock file"))
        return {QStringLiteral("não foi possível criar o arquivo de trava da porta: nenhuma das pastas de travas "
                               "(/var/lock, /tmp e outras) aceita escrita"),
                {}};
    switch (ErrnoOf(errorText)) {
    case EACCES:
    case EPERM:
        return NoPermission(device);
    case EBUSY:
        return {QStringLiteral("a porta está em uso: outro programa a abriu com acesso exclusivo"),
                QStringLiteral("Feche o outro programa (fuser -v %1 mostra qual) e tente de novo.").arg(device)};
    case ENOTTY:
        return {QStringLiteral("%1 não é um terminal, então não é uma porta serial").arg(device), PickAnAdapter()};
    case ENOENT:
    case ENODEV:
        return {QStringLiteral("dispositivo não encontrado"), MissingDeviceAdvice(PresentSerialPorts())};
    case ENXIO:
        return {QStringLiteral("não há hardware por trás de %1 (%2)").arg(device, errorText), {}};
    case EIO:
        return {QStringLiteral("erro de entrada e saída (%1): a porta pode não ter hardware por trás dela")
                    .arg(errorText),
                {}};
    default:
        break;
    }
    return {PortErrorReason(error, errorText), {}};
}

bool LockOpenDevice(int fd)
{
    // Only another holder counts: a file system without flock support
    // (ENOLCK and the like) is no reason to refuse the port.
    return ::flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK;
}

TOpenProblem HeldByFlock()
{
    return {QStringLiteral("a porta está em uso por outro programa, que a trancou (flock)"),
            CloseTheOther()};
}

QString MissingDeviceAdvice(const QStringList& presentPorts)
{
    const QString choose = QStringLiteral("Escolha a porta do acelerômetro em Config. Serial.");
    if (presentPorts.isEmpty())
        return choose + QStringLiteral(" Nenhuma porta serial foi encontrada nesta máquina: conecte o adaptador USB-serial "
                                       "e veja se ele aparece (como /dev/ttyUSB0 ou /dev/ttyACM0).");
    return choose
        + (presentPorts.size() == 1 ? QStringLiteral(" A porta serial presente é %1.")
                                    : QStringLiteral(" As portas seriais presentes são: %1."))
              .arg(presentPorts.join(QStringLiteral(", ")));
}

QStringList PresentSerialPorts()
{
    QStringList ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        ports << info.systemLocation();
    ports.sort();
    ports.removeDuplicates();
    return ports;
}

QString DeviceLostMessage(const QString& where)
{
    return QStringLiteral("O dispositivo em %1 foi desconectado, e a porta foi fechada. Os pontos já recebidos "
                          "continuam no gráfico.\n\nQuando o dispositivo voltar, clique em Inicia. Para que a porta "
                          "seja reaberta sozinha quando ele voltar, marque \"Reconectar automaticamente\" em "
                          "Config. Serial.")
        .arg(where);
}
