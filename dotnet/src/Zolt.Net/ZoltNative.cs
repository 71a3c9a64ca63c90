using System;
using System.Runtime.InteropServices;
using System.Text;
using System.Threading;

namespace Zolt;

/// <summary>
/// The library's five functions as they are, for hosts that prefer statuses
/// to exceptions. Texts are UTF-8; the reply is copied at once.
/// </summary>
/// <remarks>
/// Do not mix these with a <see cref="Channel"/> on the same channel number:
/// a raw close or event registration there takes the channel from under it.
/// </remarks>
public static unsafe class ZoltNative
{
    /// <summary>The number of channels: they are numbered 0 to 7.</summary>
    public const int ChannelCount = 8;

    // The reply buffer's size, the NUL included.
    private const int TextCapacity = 1024;

    // ZOLT_WRITE_NOT_OPEN, which close yields for a channel that was not open.
    private const sbyte CloseFoundNoChannel = 3;

    // How many suspensions each channel's poller has, as the library counts
    // them: one at load, one more per close of an open channel, one less per
    // registration. A channel opened again after a close needs as many
    // registrations as it has suspensions before its poller runs. The library
    // exports no way to read its count, so closes made in this process by
    // other code than this class are not seen here.
    private static readonly int[] s_suspensions = { 1, 1, 1, 1, 1, 1, 1, 1 };

    /// <summary><c>ZoltMasterOpen</c>: opens the channel and starts the slave.</summary>
    public static sbyte Open(sbyte channel, string? slavePath) => Open(channel, slavePath, out _);

    /// <summary>
    /// <c>ZoltMasterOpen</c>, with the system's error that the call left
    /// (errno on Linux, GetLastError on Windows; 0 for none).
    /// </summary>
    public static sbyte Open(sbyte channel, string? slavePath, out int systemError)
    {
        sbyte status = NativeMethods.ZoltMasterOpen(channel, slavePath);
        systemError = status == 0 ? 0 : Marshal.GetLastPInvokeError();
        return status;
    }

    /// <summary><c>ZoltMasterWrite</c>: sends one command and waits for the reply.</summary>
    public static sbyte Write(sbyte channel, string? command) => NativeMethods.ZoltMasterWrite(channel, command);

    /// <summary>
    /// <c>ZoltMasterRead</c>: a copy of the reply of the channel's latest
    /// successful exchange. Bytes that are no UTF-8 come through as U+FFFD.
    /// </summary>
    public static string Read(sbyte channel)
    {
        byte* text = NativeMethods.ZoltMasterRead(channel);
        if (text == null)
            return string.Empty;
        // Copied byte by byte up to the first NUL, within the buffer's 1024
        // bytes: an exchange of another thread may be rewriting the text.
        Span<byte> copy = stackalloc byte[TextCapacity];
        int length = 0;
        while (length < TextCapacity && (copy[length] = text[length]) != 0)
            length++;
        return Encoding.UTF8.GetString(copy[..length]);
    }

    /// <summary>
    /// <c>ZoltMasterEvent</c>: registers <paramref name="callback"/> (null is
    /// allowed) and takes one suspension from the channel's poller. The
    /// callback must never throw, and must stay valid while the library can
    /// call it: in practice, a static method marked UnmanagedCallersOnly.
    /// </summary>
    public static sbyte Event(sbyte channel, delegate* unmanaged[Cdecl]<void> callback)
    {
        sbyte status = NativeMethods.ZoltMasterEvent(channel, callback);
        if (status == 0 && IsChannel(channel))
            TakeSuspension(channel);
        return status;
    }

    /// <summary><c>ZoltMasterClose</c>: sends <c>Close</c> and closes the channel whatever its status.</summary>
    public static sbyte Close(sbyte channel)
    {
        sbyte status = NativeMethods.ZoltMasterClose(channel);
        // A close that finds the channel not open leaves the poller alone.
        if (status != CloseFoundNoChannel && IsChannel(channel))
            Interlocked.Increment(ref s_suspensions[channel]);
        return status;
    }

    // Registers the callback as often as it takes to get the poller running.
    internal static sbyte StartNotifications(sbyte channel, delegate* unmanaged[Cdecl]<void> callback)
    {
        sbyte status;
        do
        {
            status = Event(channel, callback);
        }
        while (status == 0 && Volatile.Read(ref s_suspensions[channel]) > 0);
        return status;
    }

    internal static bool IsChannel(int channel) => channel >= 0 && channel < ChannelCount;

    private static void TakeSuspension(int channel)
    {
        int count = Volatile.Read(ref s_suspensions[channel]);
        while (count > 0)
        {
            int seen = Interlocked.CompareExchange(ref s_suspensions[channel], count - 1, count);
            if (seen == count)
                return;
            count = seen;
        }
    }
}
