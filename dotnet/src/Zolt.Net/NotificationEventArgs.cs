using System;

namespace Zolt;

/// <summary>One notification of a channel's slave.</summary>
public sealed class NotificationEventArgs : EventArgs
{
    /// <summary>Makes the arguments of one notification.</summary>
    public NotificationEventArgs(int channel, string text)
    {
        Channel = channel;
        Text = text;
    }

    /// <summary>The channel whose slave sent the notification.</summary>
    public int Channel { get; }

    /// <summary>The notification's text, copied from the library at once.</summary>
    public string Text { get; }
}

/// <summary>A handler of <see cref="Channel.Notified"/> threw.</summary>
public sealed class HandlerFailedEventArgs : EventArgs
{
    /// <summary>Makes the arguments of one handler failure.</summary>
    public HandlerFailedEventArgs(int channel, string notification, Exception exception)
    {
        Channel = channel;
        Notification = notification;
        Exception = exception;
    }

    /// <summary>The channel whose notification the handler was given.</summary>
    public int Channel { get; }

    /// <summary>The notification's text.</summary>
    public string Notification { get; }

    /// <summary>What the handler threw.</summary>
    public Exception Exception { get; }
}

/// <summary>How a <see cref="Channel"/> delivers its notifications.</summary>
public sealed class ChannelOptions
{
    /// <summary>
    /// When true, each handler added to <see cref="Channel.Notified"/> is
    /// called through the <see cref="System.Threading.SynchronizationContext"/>
    /// current on the thread that adds it (a UI thread's, say), by Post. A
    /// handler added where there is none is called on the library's thread,
    /// as it is by default.
    /// </summary>
    public bool NotifyOnCapturedContext { get; init; }
}
