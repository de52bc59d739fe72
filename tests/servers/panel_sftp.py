"""An SFTP server with a game panel's habits, for the tests: a password login named like "name.1a2b3c4d", the files
of one folder as its whole tree, and no renaming onto an existing file (posix-rename refused).

Usage: panel_sftp.py PORT HOST_KEY FOLDER USER PASSWORD   (prints "ready" once it listens on 127.0.0.1:PORT)
"""
import asyncio
import sys

import asyncssh

port, host_key, folder, user, password = sys.argv[1:6]


class Server(asyncssh.SSHServer):
    def begin_auth(self, username):
        return True

    def password_auth_supported(self):
        return True

    def validate_password(self, username, given):
        return username == user and given == password


class PanelFiles(asyncssh.SFTPServer):
    def __init__(self, chan):
        super().__init__(chan, chroot=folder.encode())

    def posix_rename(self, oldpath, newpath):
        raise asyncssh.SFTPOpUnsupported("renaming onto a file is not supported")


async def main():
    await asyncssh.listen("127.0.0.1", int(port), server_host_keys=[host_key], server_factory=Server,
                          sftp_factory=PanelFiles, allow_scp=False)
    print("ready", flush=True)
    await asyncio.Event().wait()


asyncio.run(main())
