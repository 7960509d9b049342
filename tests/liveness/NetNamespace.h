// SPDX-License-Identifier: MIT
#pragma once
// A network namespace joined to this one by a veth pair: a peer whose sockets live over there can
// be made to vanish (its link taken down: no FIN, no RST, nothing answers), or can sit behind a
// slow link. Needs the right to make namespaces (root, or CAP_NET_ADMIN and CAP_SYS_ADMIN) and
// the ip and tc commands.
#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

class NetNamespace {
public:
    NetNamespace() {
        // Names of their own for every one: a namespace whose vanished peers still have
        // connections open goes away only once those have timed out.
        static int nMade = 0;
        const int nId = static_cast<int>(::getpid() % 10000) * 10 + nMade++ % 10;
        name_ = QStringLiteral("zaplo%1").arg(nId);
        here_ = QStringLiteral("zh%1").arg(nId);
        there_ = QStringLiteral("zt%1").arg(nId);
        const QString net =
            QStringLiteral("10.%1.%2.").arg(100 + nId / 256 % 150).arg(nId % 256 / 4 * 4);
        hereAddress_ = net + QStringLiteral("1");
        thereAddress_ = net + QStringLiteral("2");
        Ip({QStringLiteral("netns"), QStringLiteral("del"), name_}); // left by a killed run
        bOk_ = Ip({QStringLiteral("netns"), QStringLiteral("add"), name_}) &&
               Ip({QStringLiteral("link"), QStringLiteral("add"), here_, QStringLiteral("type"),
                   QStringLiteral("veth"), QStringLiteral("peer"), QStringLiteral("name"), there_,
                   QStringLiteral("netns"), name_}) &&
               Ip({QStringLiteral("addr"), QStringLiteral("add"),
                   hereAddress_ + QStringLiteral("/30"), QStringLiteral("dev"), here_}) &&
               Ip({QStringLiteral("link"), QStringLiteral("set"), here_, QStringLiteral("up")}) &&
               Ip({QStringLiteral("-n"), name_, QStringLiteral("addr"), QStringLiteral("add"),
                   thereAddress_ + QStringLiteral("/30"), QStringLiteral("dev"), there_}) &&
               Ip({QStringLiteral("-n"), name_, QStringLiteral("link"), QStringLiteral("set"),
                   there_, QStringLiteral("up")});
    }
    ~NetNamespace() {
        // The pair first: that ends both sides at once, whatever still lives over there.
        Ip({QStringLiteral("link"), QStringLiteral("del"), here_});
        Ip({QStringLiteral("netns"), QStringLiteral("del"), name_});
    }
    NetNamespace(const NetNamespace&) = delete;
    NetNamespace& operator=(const NetNamespace&) = delete;

    bool Ok() const { return bOk_; }
    QString HereAddress() const { return hereAddress_; }
    QString ThereAddress() const { return thereAddress_; }

    // The far side's link goes down: whatever is over there neither sends nor answers any more.
    bool Vanish() {
        return Ip({QStringLiteral("-n"), name_, QStringLiteral("link"), QStringLiteral("set"),
                   there_, QStringLiteral("down")});
    }
    // Both directions limited to nKbit, with at most nLatencyMs of queue.
    bool Slow(int nKbit, int nLatencyMs) {
        const QStringList tbf{QStringLiteral("root"),    QStringLiteral("tbf"),
                              QStringLiteral("rate"),    QStringLiteral("%1kbit").arg(nKbit),
                              QStringLiteral("burst"),   QStringLiteral("4kb"),
                              QStringLiteral("latency"), QStringLiteral("%1ms").arg(nLatencyMs)};
        return Run(QStringLiteral("tc"), QStringList{QStringLiteral("qdisc"), QStringLiteral("add"),
                                                     QStringLiteral("dev"), here_} +
                                             tbf) &&
               Run(QStringLiteral("tc"),
                   QStringList{QStringLiteral("-n"), name_, QStringLiteral("qdisc"),
                               QStringLiteral("add"), QStringLiteral("dev"), there_} +
                       tbf);
    }

    // A TCP socket that lives over there: connected to address:nPort (blocking), or listening
    // on the far address at nPort. -1 on failure.
    int Connect(const QString& address, uint16_t nPort) {
        return Over([&] { return Dial(address, nPort); });
    }
    int Listen(uint16_t nPort) {
        return Over([&] { return Bind(nPort); });
    }

private:
    template <typename Fn> int Over(Fn make) {
        const int self = ::open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
        const QByteArray path = "/var/run/netns/" + name_.toUtf8();
        const int there = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        int fd = -1;
        if (self >= 0 && there >= 0 && ::setns(there, CLONE_NEWNET) == 0) {
            fd = make();
            ::setns(self, CLONE_NEWNET);
        }
        ::close(self);
        ::close(there);
        return fd;
    }
    static int Dial(const QString& address, uint16_t nPort) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(nPort);
        ::inet_pton(AF_INET, address.toLatin1().constData(), &to.sin_addr);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
            ::close(fd);
            return -1;
        }
        return fd;
    }
    int Bind(uint16_t nPort) const {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_port = htons(nPort);
        ::inet_pton(AF_INET, thereAddress_.toLatin1().constData(), &at.sin_addr);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || ::listen(fd, 4) != 0) {
            ::close(fd);
            return -1;
        }
        return fd;
    }
    bool Ip(const QStringList& arguments) { return Run(QStringLiteral("ip"), arguments); }
    static bool Run(const QString& program, const QStringList& arguments) {
        QProcess process;
        process.start(program, arguments);
        return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit &&
               process.exitCode() == 0;
    }

    QString name_;
    QString here_;
    QString there_;
    QString hereAddress_;
    QString thereAddress_;
    bool bOk_ = false;
};
