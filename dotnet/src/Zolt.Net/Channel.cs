using System;
using System.Diagnostics;
using System.Threading;

namespace Zolt;

/// <summary>
/// An open channel to one slave program. Made by <see cref="Open"/>, closed
/// by <see cref="Dispose"/> or <see cref="Close"/>.
/// </summary>
/// <remarks>
/// Any thread may call any member. <see cref="Notified"/> handlers run on the
/// channel's poller thread, a thread of the library, unless
/// <see cref="ChannelOptions.NotifyOnCapturedContext"/> says otherwise; they
/// may write to and dispose this channel or any other.
/// </remarks>
public sealed class Channel : IDisposable
{
    private readonly sbyte _number;
    private readonly bool _captureContext;

    // Held from a write until its reply is copied, so another thread's write
    // or close cannot replace the reply in between. Never held while the
    // library calls back, or a handler's own write would wait for itself.
    private readonly object _exchange = new();
    private volatile bool _closed;
    private volatile int _closeStatus = NotClosed;
    private const int NotClosed = int.MinValue;

    private readonly object _subscription = new();
    private Subscriber[] _subscribers = Array.Empty<Subscriber>();
    private bool _listening;

    private Channel(sbyte number, string slavePath, bool captureContext)
    {
        _number = number;
        SlavePath = slavePath;
        _captureContext = captureContext;
    }

    /// <summary>
    /// Opens <paramref name="channel"/> (0 to 7) and starts the slave at
    /// <paramref name="slavePath"/>, taken from the current folder when
    /// relative. Does not wait for the slave to be ready.
    /// </summary>
    /// <exception cref="ArgumentOutOfRangeException">The channel is not 0 to 7.</exception>
    /// <exception cref="ArgumentException">The path holds a NUL character.</exception>
    /// <exception cref="ZoltException">The library returned a status other than 0;
    /// <see cref="ZoltException.SystemError"/> holds the system's error.</exception>
    public static Channel Open(int channel, string slavePath, ChannelOptions? options = null)
    {
        ArgumentOutOfRangeException.ThrowIfNegative(channel);
        ArgumentOutOfRangeException.ThrowIfGreaterThanOrEqual(channel, ZoltNative.ChannelCount);
        ArgumentNullException.ThrowIfNull(slavePath);
        RefuseNul(slavePath, nameof(slavePath));

        sbyte number = (sbyte)channel;
        sbyte status = ZoltNative.Open(number, slavePath, out int systemError);
        if (status != 0)
            throw new ZoltException(ZoltFunction.Open, status, channel, systemError, $"slave {slavePath}");
        var opened = new Channel(number, slavePath, options?.NotifyOnCapturedContext ?? false);
        NotificationEntries.Attach(opened);
        return opened;
    }

    /// <summary>The channel's number, 0 to 7.</summary>
    public int Number => _number;

    /// <summary>The slave's path as given to <see cref="Open"/>.</summary>
    public string SlavePath { get; }

    /// <summary>True once the channel is closed.</summary>
    public bool IsClosed => _closed;

    /// <summary>The status of the close (its <c>Close</c> exchange), or null until the close has returned.</summary>
    public sbyte? CloseStatus => _closeStatus == NotClosed ? null : (sbyte)_closeStatus;

    /// <summary>
    /// Sends one command and returns the slave's reply. Waits up to about 8 s
    /// (4 s for the mailbox, 4 s for the reply).
    /// </summary>
    /// <exception cref="ZoltException">The library returned a status other than 0;
    /// the channel stays open.</exception>
    /// <exception cref="ObjectDisposedException">The channel is closed.</exception>
    public string Write(string command)
    {
        sbyte status = TryWrite(command, out string? reply);
        if (status != 0)
            throw new ZoltException(ZoltFunction.Write, status, Number, detail: $"command {Shortened(command)}");
        return reply!;
    }

    /// <summary>
    /// Sends one command and returns the library's status; on 0,
    /// <paramref name="reply"/> is the slave's reply, otherwise null.
    /// </summary>
    /// <exception cref="ObjectDisposedException">The channel is closed.</exception>
    public sbyte TryWrite(string command, out string? reply)
    {
        ArgumentNullException.ThrowIfNull(command);
        RefuseNul(command, nameof(command));
        lock (_exchange)
        {
            ObjectDisposedException.ThrowIf(_closed, this);
            sbyte status = ZoltNative.Write(_number, command);
            reply = status == 0 ? ZoltNative.Read(_number) : null;
            return status;
        }
    }

    /// <summary>
    /// The slave's notifications. Handlers run on the library's poller
    /// thread of this channel, one notification after the other, unless
    /// <see cref="ChannelOptions.NotifyOnCapturedContext"/> was given. The
    /// first handler starts the poller; notifications that come while no
    /// handler is added are dropped.
    /// </summary>
    /// <exception cref="ZoltException">Starting the poller failed (adding the first handler).</exception>
    /// <exception cref="ObjectDisposedException">The channel is closed (adding a handler).</exception>
    public event EventHandler<NotificationEventArgs>? Notified
    {
        add
        {
            if (value is null)
                return;
            var subscriber = new Subscriber(value, _captureContext ? SynchronizationContext.Current : null);
            lock (_subscription)
            {
                ObjectDisposedException.ThrowIf(_closed, this);
                Subscriber[] before = _subscribers;
                Subscriber[] grown = new Subscriber[before.Length + 1];
                before.CopyTo(grown, 0);
                grown[^1] = subscriber;
                // In place before the poller starts: it may deliver at once.
                Volatile.Write(ref _subscribers, grown);
                if (_listening)
                    return;
                sbyte status = NotificationEntries.Start(_number);
                if (status != 0)
                {
                    Volatile.Write(ref _subscribers, before);
                    throw new ZoltException(ZoltFunction.Event, status, Number);
                }
                _listening = true;
            }
        }
        remove
        {
            lock (_subscription)
            {
                int index = Array.FindLastIndex(_subscribers, s => s.Handler == value);
                if (index < 0)
                    return;
                Subscriber[] shrunk = new Subscriber[_subscribers.Length - 1];
                Array.Copy(_subscribers, 0, shrunk, 0, index);
                Array.Copy(_subscribers, index + 1, shrunk, index, shrunk.Length - index);
                Volatile.Write(ref _subscribers, shrunk);
            }
        }
    }

    /// <summary>
    /// A <see cref="Notified"/> handler threw. The exception goes no further:
    /// the other handlers and the next notifications are delivered as usual.
    /// Raised where the handler ran. Without a handler for this event, the
    /// exception is written to <see cref="Trace"/>.
    /// </summary>
    public event EventHandler<HandlerFailedEventArgs>? HandlerFailed;

    /// <summary>
    /// Closes the channel: sends <c>Close</c> to the slave and leaves the
    /// channel closed whatever the slave did.
    /// </summary>
    /// <exception cref="ZoltException">The <c>Close</c> exchange returned a status
    /// other than 0; the channel is closed all the same.</exception>
    public void Close()
    {
        sbyte? status = CloseOnce();
        if (status is sbyte failed && failed != 0)
            throw new ZoltException(ZoltFunction.Close, failed, Number);
    }

    /// <summary>
    /// Closes the channel as <see cref="Close"/> does, without throwing; the
    /// status is in <see cref="CloseStatus"/>.
    /// </summary>
    public void Dispose() => CloseOnce();

    /// <inheritdoc/>
    public override string ToString() => $"Zolt channel {Number} to {SlavePath}{(_closed ? ", closed" : "")}";

    // The status of this call's close; null when the channel was closed before.
    private sbyte? CloseOnce()
    {
        // Taken briefly, so a write under way gets its own reply, not the
        // slave's answer to Close; the close itself runs outside it, since
        // the library waits for a running handler, which may be writing.
        lock (_exchange)
        {
            if (_closed)
                return null;
            _closed = true;
        }
        sbyte status = ZoltNative.Close(_number);
        _closeStatus = status;
        NotificationEntries.Detach(this);
        return status;
    }

    // On the poller thread, from the channel's entry.
    internal void Deliver(string text)
    {
        foreach (Subscriber subscriber in Volatile.Read(ref _subscribers))
        {
            if (_closed)
                return;
            if (subscriber.Context is null)
                Invoke(subscriber.Handler, text);
            else
                subscriber.Context.Post(static state =>
                {
                    var (channel, handler, text) = ((Channel, EventHandler<NotificationEventArgs>, string))state!;
                    // Once disposed, a channel calls no handler, queued or not.
                    if (!channel._closed)
                        channel.Invoke(handler, text);
                }, (this, subscriber.Handler, text));
        }
    }

    private void Invoke(EventHandler<NotificationEventArgs> handler, string text)
    {
        try
        {
            handler(this, new NotificationEventArgs(Number, text));
        }
        catch (Exception exception)
        {
            ReportFailure(text, exception);
        }
    }

    private void ReportFailure(string text, Exception exception)
    {
        EventHandler<HandlerFailedEventArgs>? failed = HandlerFailed;
        if (failed is null)
        {
            Trace.TraceError($"Zolt channel {Number}: a notification handler threw: {exception}");
            return;
        }
        try
        {
            failed(this, new HandlerFailedEventArgs(Number, text, exception));
        }
        catch (Exception)
        {
            // A failing report of a failure has no one left to tell.
        }
    }

    private static void RefuseNul(string text, string name)
    {
        // The library reads C strings: a NUL would silently cut the text.
        if (text.Contains('\0'))
            throw new ArgumentException("The text holds a NUL character.", name);
    }

    private static string Shortened(string command) => command.Length <= 40 ? command : command[..40] + "...";

    private sealed record Subscriber(EventHandler<NotificationEventArgs> Handler, SynchronizationContext? Context);
}
