// An FTP server of a test suite's own on 127.0.0.1 and a free port, for the command line's tests and the window's.
#pragma once

#include "sshd_server.h"

#include <gtest/gtest.h>

namespace sshd_test {

// An FTP server of Debian's pyftpdlib, with explicit TLS (AUTH TLS) and a throw-away self-signed certificate, or
// without TLS, or behind stunnel for TLS from the first byte (ftps://), where it takes the control connection as
// secure and puts the data connections in TLS itself. A quirk makes it behave as some servers do: "no-rename-over"
// refuses to rename onto a file that exists, "cut" closes an upload's data connection after 50,000 bytes and reports
// it complete, "writer=FILE" copies FILE over the admins file when the first upload starts, as another writer would.
constexpr const char* kFtpServer = R"(import errno, os, shutil, sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import DTPHandler, FTPHandler, TLS_DTPHandler, TLS_FTPHandler
from pyftpdlib.servers import FTPServer
root, cert, mode, port_file, quirk = sys.argv[1:6]
tls = mode != 'plain'
logins = DummyAuthorizer()
logins.add_user('gs', 'pw-secret', root, perm='elradfmwMT')
writer = [quirk[7:]] if quirk.startswith('writer=') else []
class Fs(AbstractedFS):
    def rename(self, src, dst):
        if quirk == 'no-rename-over' and os.path.exists(dst):
            raise OSError(errno.EEXIST, 'File exists')
        return super().rename(src, dst)
class Dtp(TLS_DTPHandler if tls else DTPHandler):
    def readable(self):  # a TLS handshake that starts before RETR or STOR, as curl's does, is no reason to close
        return getattr(self, '_ssl_accepting', False) or super().readable()
    def handle_read_event(self):
        super().handle_read_event()
        if quirk == 'cut' and self.tot_bytes_received > 50000 and not self._closed:
            self.handle_close()
class Handler(TLS_FTPHandler if tls else FTPHandler):
    certfile = cert
    authorizer = logins
    dtp_handler = Dtp
    abstracted_fs = Fs
    def ftp_STOR(self, file, mode='w'):
        if writer:
            shutil.copyfile(writer.pop(), os.path.join(root, 'KZ_admins.txt'))
        return super().ftp_STOR(file, mode)
    if mode == 'behind':
        def ftp_PBSZ(self, line):
            self._pbsz = True
            self.respond('200 PBSZ=0 successful.')
        def ftp_PROT(self, line):
            self._prot = line.upper() == 'P'
            self.respond('200 Protection set.')
server = FTPServer(('127.0.0.1', 0), Handler)
with open(port_file + '.new', 'w') as f:
    f.write(str(server.socket.getsockname()[1]))
os.rename(port_file + '.new', port_file)
server.serve_forever()
)";

struct FtpServer {
    static void start()
    {
        dir_ = fs::temp_directory_path() / ("vantorel_ftp_" + std::to_string(std::random_device()()));
        fs::create_directories(dir_ / "root");
        const std::string d = shellQuoted(dir_.string());
        if (std::system("/usr/bin/python3 -c 'import pyftpdlib, OpenSSL' 2>/dev/null") != 0) {
            skip_ = "/usr/bin/python3 lacks pyftpdlib or OpenSSL (Debian's python3-pyftpdlib, python3-openssl)";
            return;
        }
        if (std::system("command -v stunnel4 >/dev/null") != 0) {
            skip_ = "no stunnel4 (Debian's stunnel4) for ftps://";
            return;
        }
        // The certificate, and its public key's SHA-256 as --pinned-key takes it, by openssl alone.
        if (std::system(("cd " + d +
                         " && openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "
                         "-keyout cert.pem -out cert.pem -days 2 -subj /CN=localhost 2>/dev/null && openssl x509 "
                         "-in cert.pem -pubkey -noout | openssl pkey -pubin -outform der | openssl dgst -sha256 "
                         "-binary | openssl enc -base64 -A > pin")
                            .c_str()) != 0) {
            skip_ = "openssl cannot make a certificate";
            return;
        }
        pin_ = "sha256//" + bytesOf(dir_ / "pin");
        write(dir_ / "server.py", kFtpServer);
        write(dir_ / "netrc", "machine 127.0.0.1 login gs password pw-secret\n", 0600);
    }
    static void stop() { fs::remove_all(dir_); }
    // Stops the server started last.
    void stopServer()
    {
        stopProcess(tunnel_);
        stopProcess(server_);
        tunnel_ = server_ = -1;
    }

    // Starts the server ("tls", "plain", or "ftps" behind stunnel) with a quirk; its port, or 0 after a skip.
    int serve(const std::string& mode, const std::string& quirk = "")
    {
        const fs::path portFile = dir_ / "port";
        fs::remove(portFile);
        server_ = spawn({"/bin/sh", "-c",
                         "exec /usr/bin/python3 " + shellQuoted((dir_ / "server.py").string()) + " " +
                             shellQuoted((dir_ / "root").string()) + " " + shellQuoted((dir_ / "cert.pem").string()) +
                             " " + (mode == "ftps" ? "behind" : mode) + " " + shellQuoted(portFile.string()) + " " +
                             shellQuoted(quirk) + " 2>" + shellQuoted((dir_ / "server.log").string())});
        if (!eventually([&] { return fs::exists(portFile) || ::waitpid(server_, nullptr, WNOHANG) != 0; }) ||
            !fs::exists(portFile)) {
            ADD_FAILURE() << "the FTP server did not start: " << bytesOf(dir_ / "server.log");
            return 0;
        }
        const int port = std::stoi(bytesOf(portFile));
        if (mode != "ftps")
            return port;
        const int front = freePort();
        write(dir_ / "stunnel.conf",
              "foreground = yes\npid =\n[ftps]\naccept = 127.0.0.1:" + std::to_string(front) +
                  "\nconnect = 127.0.0.1:" + std::to_string(port) + "\ncert = " + (dir_ / "cert.pem").string() + "\n");
        tunnel_ = spawn({"/bin/sh", "-c",
                         "exec stunnel4 " + shellQuoted((dir_ / "stunnel.conf").string()) + " 2>" +
                             shellQuoted((dir_ / "stunnel.log").string())});
        if (!listens(front, tunnel_))
            ADD_FAILURE() << "stunnel4 did not start: " << bytesOf(dir_ / "stunnel.log");
        return front;
    }

    static fs::path file() { return dir_ / "root" / "KZ_admins.txt"; }
    static std::string url(const std::string& scheme, int port)
    {
        return scheme + "gs@127.0.0.1:" + std::to_string(port) + "/KZ_admins.txt";
    }
    // The folder holds the admins file alone: no upload was left behind.
    static bool alone() { return std::distance(fs::directory_iterator(dir_ / "root"), fs::directory_iterator()) == 1; }

    static inline fs::path dir_;
    static inline std::string skip_, pin_;
    pid_t server_ = -1, tunnel_ = -1;
};

} // namespace sshd_test
