#include "printdriver/cupsbackend.h"
#include "platform/jsontext.h"

#include "printdriver/jobupload.h"
#include "printdriver/printinforeader.h"
#include "printdriver/socketowner.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSettings>
#include <QThread>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
void line(FILE* status, const char* kind, const QString& text)
{
    std::fprintf(status, "%s: %s\n", kind, text.toUtf8().constData());
    std::fflush(status);
}

// Connects to 127.0.0.1:port within timeoutMs; -1 with errno set otherwise.
int connectToClient(unsigned short port, int timeoutMs)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return -1;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        if (errno != EINPROGRESS) {
            const int saved = errno;
            ::close(fd);
            errno = saved;
            return -1;
        }
        pollfd p{fd, POLLOUT, 0};
        int ready;
        do {
            ready = ::poll(&p, 1, timeoutMs);
        } while (ready < 0 && errno == EINTR);
        int error = ready == 0 ? ETIMEDOUT : 0;
        socklen_t length = sizeof(error);
        if (ready > 0) {
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
        }
        if (error != 0) {
            ::close(fd);
            errno = error;
            return -1;
        }
    }
    return fd;
}

// The job's user; -1 when there is no such user on this machine.
long uidOf(const QString& user)
{
    const passwd* entry = ::getpwnam(user.toLocal8Bit().constData());
    return entry ? long(entry->pw_uid) : -1;
}

QString machineId()
{
    QFile file("/etc/machine-id");
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll().trimmed()) : QString();
}
} // namespace

QString CupsBackend::notSignedIn()
{
    return QString::fromUtf8("请先启动并登录Vantelor客户端");
}

QString CupsBackend::noPrintInfo()
{
    return QString::fromUtf8("Vantelor客户端暂时取不到打印信息，稍后自动重试");
}

QString CupsBackend::serviceUnavailable()
{
    return QString::fromUtf8("Vantelor云打印服务暂时无法访问，稍后自动重试");
}

QString CupsBackend::otherUser(const QString& user)
{
    return QString::fromUtf8("本机登录Vantelor客户端的不是打印用户%1，任务未发送").arg(user);
}

CupsBackend::Settings CupsBackend::Settings::load(const QString& file)
{
    Settings settings;
    QSettings ini(file, QSettings::IniFormat);
    settings.printService = QUrl(ini.value("printService").toString());
    const auto positive = [&ini](const char* key, int fallback) {
        bool ok = false;
        const int value = ini.value(key).toInt(&ok);
        return ok && value > 0 ? value : fallback;
    };
    settings.connectTimeoutMs = positive("connectTimeoutMs", settings.connectTimeoutMs);
    settings.printInfoTimeoutMs = positive("printInfoTimeoutMs", settings.printInfoTimeoutMs);
    settings.uploadTimeoutMs = positive("uploadTimeoutMs", settings.uploadTimeoutMs);
    settings.retryPauseMs = positive("retryPauseMs", settings.retryPauseMs);
    bool ok = false;
    const int wait = ini.value("waitMs").toInt(&ok);
    settings.waitMs = ok && wait >= 0 ? wait : settings.waitMs;
    return settings;
}

QString CupsBackend::settingsFile()
{
    // argv[0] is the device URI under CUPS, so the program's place comes from the kernel.
    return QFileInfo(QFileInfo("/proc/self/exe").canonicalFilePath()).absolutePath() + "/vantelor.ini";
}

int CupsBackend::run(const QStringList& arguments, const Settings& settings, FILE* status)
{
    if (arguments.size() == 1) {
        // Device discovery (lpinfo -v).
        std::printf(
            "network %s \"Vantelor Cloud Print\" \"%s\" \"MFG:Vantelor;MDL:Cloud Print;CMD:PDF;\" \"\"\n",
            kDeviceUri, QString::fromUtf8("Vantelor 云打印").toUtf8().constData());
        return Ok;
    }
    if (arguments.size() != 6 && arguments.size() != 7) {
        std::fprintf(status, "Usage: vantelor job-id user title copies options [file]\n");
        return Failed;
    }
    const QString jobId = arguments.at(1);
    const QString user = arguments.at(2);
    if (!settings.printService.isValid() || settings.printService.scheme().isEmpty()) {
        line(status, "ERROR", QString("no print service in %1").arg(settingsFile()));
        return Failed;
    }

    // The whole job first: a backend that leaves its input unread fails the filter before it.
    QFile input;
    const bool opened = arguments.size() == 7
                            ? (input.setFileName(arguments.at(6)), input.open(QIODevice::ReadOnly))
                            : input.open(stdin, QIODevice::ReadOnly);
    if (!opened) {
        line(status, "ERROR", "cannot read the job: " + input.errorString());
        return Failed;
    }
    JobUpload::Job job;
    job.pdf = input.readAll();
    input.close();
    job.title = arguments.at(3);
    job.user = user;
    job.copies = qMax(1, arguments.at(4).toInt());
    job.options = arguments.at(5);
    job.key = QString("%1/%2/%3").arg(machineId(), QString::fromLocal8Bit(qgetenv("PRINTER")), jobId);
    line(status, "DEBUG", QString("job %1 of %2: %3 bytes").arg(jobId, user).arg(job.pdf.size()));

    // Every attempt of this job is the same job for the service; CUPS gives
    // each job a UUID, and the job id is unique on this machine anyway.
    for (const QString& option : job.options.split(' ', Qt::SkipEmptyParts)) {
        if (option.startsWith("job-uuid=")) {
            job.key = option.mid(9);
        }
    }

    QElapsedTimer waited;
    waited.start();
    for (;;) {
        const int outcome = attempt(job, settings, status);
        if (outcome != Retry || waited.elapsed() + settings.retryPauseMs > settings.waitMs) {
            return outcome;
        }
        QThread::msleep(settings.retryPauseMs);
    }
}

int CupsBackend::attempt(JobUpload::Job& job, const Settings& settings, FILE* status)
{
    const QString& user = job.user;
    line(status, "STATE", "+connecting-to-device");
    const int fd = connectToClient(kClientPort, settings.connectTimeoutMs);
    if (fd < 0) {
        // Nobody listens while no one is signed in: the job waits for a sign-in.
        line(status, "DEBUG",
             QString("127.0.0.1:%1: %2").arg(kClientPort).arg(QString::fromLocal8Bit(strerror(errno))));
        line(status, "INFO", notSignedIn());
        line(status, "STATE", "-connecting-to-device");
        return Retry;
    }
    const SocketOwner::Entry owner = SocketOwner::peerOf(fd);
    const long uid = uidOf(user);
    line(status, "DEBUG",
         QString("listener on port %1: found %2, uid %3, inode %4; job user uid %5")
             .arg(kClientPort)
             .arg(owner.found)
             .arg(owner.uid)
             .arg(owner.inode)
             .arg(uid));
    if (!owner.found || uid < 0 || owner.uid != static_cast<unsigned long>(uid)) {
        ::close(fd);
        line(status, "ERROR", otherUser(user));
        line(status, "STATE", "-connecting-to-device");
        return Failed;
    }

    std::string text;
    const PrintInfoReader::Outcome read = PrintInfoReader::read(fd, settings.printInfoTimeoutMs, text);
    ::close(fd);
    line(status, "STATE", "-connecting-to-device");
    job.printInfo = QByteArray::fromStdString(text);
    if (read != PrintInfoReader::Outcome::Complete || !CJsonText::parse(job.printInfo).isObject()) {
        line(status, "DEBUG",
             QString("print information: %1")
                 .arg(read == PrintInfoReader::Outcome::Complete ? "not valid JSON"
                                                                 : PrintInfoReader::name(read)));
        line(status, "INFO", noPrintInfo());
        return Retry;
    }

    line(status, "INFO", QString::fromUtf8("正在发送到Vantelor云打印"));
    QString message;
    switch (JobUpload::send(settings.printService, job, settings.uploadTimeoutMs, message)) {
    case JobUpload::Outcome::Stored:
        line(status, "DEBUG", "stored as " + message);
        line(status, "INFO", QString::fromUtf8("已发送到Vantelor云打印"));
        return Ok;
    case JobUpload::Outcome::Unavailable:
        line(status, "DEBUG", "print service: " + message);
        line(status, "INFO", serviceUnavailable());
        return Retry;
    case JobUpload::Outcome::Refused:
        line(status, "ERROR", message);
        return Failed;
    }
    return Failed;
}
