using System;
using System.Runtime.CompilerServices;
using System.Runtime.InteropServices;
using System.Threading;

namespace Zolt;

// The callbacks the library calls: one static entry per channel, since the
// library's callback carries no channel. Static methods are never collected,
// so nothing the library holds can turn stale under the GC.
internal static unsafe class NotificationEntries
{
    private static readonly Channel?[] s_channels = new Channel?[ZoltNative.ChannelCount];

    internal static delegate* unmanaged[Cdecl]<void> EntryOf(int channel) => channel switch
    {
        0 => &Entry0,
        1 => &Entry1,
        2 => &Entry2,
        3 => &Entry3,
        4 => &Entry4,
        5 => &Entry5,
        6 => &Entry6,
        _ => &Entry7,
    };

    // Registers the channel's entry, as often as it takes to get its poller running.
    internal static sbyte Start(sbyte channel) => ZoltNative.StartNotifications(channel, EntryOf(channel));

    internal static void Attach(Channel channel) => Volatile.Write(ref s_channels[channel.Number], channel);

    // Only the channel still attached: a new open of the number may have
    // attached another channel object meanwhile.
    internal static void Detach(Channel channel) =>
        Interlocked.CompareExchange(ref s_channels[channel.Number], null, channel);

    [UnmanagedCallersOnly(CallConvs = new[] { typeof(CallConvCdecl) })]
    private static void Entry0() => Deliver(0);

    [UnmanagedCallersOnly(CallConvs = new[] { typeof(CallConvCdecl) })]
    private static void Entry1() => Deliver(1);

    [UnmanagedCallersOnly(CallConvs = new[] { typeof(CallConvCdecl) })]
    private static void Entry2() => Deliver(2);

    [UnmanagedCallersOnly(CallConvs = new[] { typeof(CallConvCdecl) })]
    private static void Entry3() => Deliver(3);

    [UnmanagedCallersOnly(CallConvs = new[] { typeof(CallConvCdecl) })]
    private static void Entry4() => Deliver(4);

    [UnmanagedCallersOnly(CallConvs = new[] { typeof(CallConvCdecl) })]
    private static void Entry5() => Deliver(5);

    [UnmanagedCallersOnly(CallConvs = new[] { typeof(CallConvCdecl) })]
    private static void Entry6() => Deliver(6);

    [UnmanagedCallersOnly(CallConvs = new[] { typeof(CallConvCdecl) })]
    private static void Entry7() => Deliver(7);

    // On the channel's poller thread. An exception that left this method
    // would end the process, so none does.
    private static void Deliver(int number)
    {
        try
        {
            // Copied first thing: the channel's next exchange replaces the text.
            string text = ZoltNative.Read((sbyte)number);
            Volatile.Read(ref s_channels[number])?.Deliver(text);
        }
        catch (Exception)
        {
            // Channel.Deliver reports handler failures itself; what is left
            // (out of memory, say) has nowhere better to go.
        }
    }
}
