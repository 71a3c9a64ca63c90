using System.Runtime.InteropServices;

namespace Zolt.Tests;

// The few system calls the tests need to arrange the slave's world.
internal static unsafe partial class Libc
{
    [LibraryImport("libc", EntryPoint = "setenv", StringMarshalling = StringMarshalling.Utf8)]
    internal static partial int SetEnv(string name, string value, int overwrite);

    [LibraryImport("libc", EntryPoint = "unsetenv", StringMarshalling = StringMarshalling.Utf8)]
    internal static partial int UnsetEnv(string name);

    [LibraryImport("libc", EntryPoint = "geteuid")]
    internal static partial uint GetEuid();

    [LibraryImport("libc", EntryPoint = "chown", StringMarshalling = StringMarshalling.Utf8, SetLastError = true)]
    internal static partial int Chown(string path, uint owner, uint group);

    [LibraryImport("libc", EntryPoint = "mkfifo", StringMarshalling = StringMarshalling.Utf8, SetLastError = true)]
    internal static partial int MkFifo(string path, uint mode);

    [LibraryImport("libc", EntryPoint = "syscall", SetLastError = true)]
    private static partial long Syscall(long number, long argument1, long argument2);

    [LibraryImport("libc", EntryPoint = "poll", SetLastError = true)]
    private static partial int Poll(PollFd* fds, ulong count, int timeoutMilliseconds);

    [LibraryImport("libc", EntryPoint = "close")]
    private static partial int Close(int descriptor);

    private const long PidfdOpen = 434;
    private const short PollIn = 1;

    [StructLayout(LayoutKind.Sequential)]
    private struct PollFd
    {
        public int Descriptor;
        public short Events;
        public short Returned;
    }

    // True once the process has ended (reaped or not), false after the limit.
    // A process gone before we look has ended too.
    internal static bool WaitForEnd(int pid, int limitMilliseconds)
    {
        int descriptor = (int)Syscall(PidfdOpen, pid, 0);
        if (descriptor < 0)
            return true;
        try
        {
            var ended = new PollFd { Descriptor = descriptor, Events = PollIn };
            return Poll(&ended, 1, limitMilliseconds) == 1;
        }
        finally
        {
            Close(descriptor);
        }
    }
}
