using System;
using System.Runtime.InteropServices;

namespace Zolt;

/// <summary>A library function returned a status other than 0.</summary>
public sealed class ZoltException : Exception
{
    /// <summary>Makes the exception for a status of a function on a channel.</summary>
    /// <param name="function">The function that failed.</param>
    /// <param name="status">Its status, never 0.</param>
    /// <param name="channel">The channel it was called on.</param>
    /// <param name="systemError">The system's error after a failed open; 0 for none.</param>
    /// <param name="detail">Words added to the message, or null.</param>
    public ZoltException(ZoltFunction function, sbyte status, int channel, int systemError = 0, string? detail = null)
        : base(Describe(function, status, channel, systemError, detail))
    {
        Function = function;
        Status = status;
        Channel = channel;
        SystemError = systemError;
    }

    /// <summary>The function that returned the status.</summary>
    public ZoltFunction Function { get; }

    /// <summary>The library's name of the function, such as <c>ZoltMasterOpen</c>.</summary>
    public string FunctionName => ZoltStatus.NativeName(Function);

    /// <summary>The status the library returned.</summary>
    public sbyte Status { get; }

    /// <summary>What the status means, in the manual pages' words.</summary>
    public string Meaning => ZoltStatus.Meaning(Function, Status);

    /// <summary>The channel the function was called on.</summary>
    public int Channel { get; }

    /// <summary>
    /// After a failed open, the error the system reported during it (errno on
    /// Linux, GetLastError on Windows); 0 when it reported none, and always 0
    /// for the other functions.
    /// </summary>
    public int SystemError { get; }

    private static string Describe(ZoltFunction function, sbyte status, int channel, int systemError, string? detail)
    {
        string message = $"{ZoltStatus.NativeName(function)} on channel {channel} returned {status}: {ZoltStatus.Meaning(function, status)}";
        if (detail is not null)
            message += $" ({detail})";
        if (systemError != 0)
            message += $"; system error {systemError}: {Marshal.GetPInvokeErrorMessage(systemError)}";
        return message;
    }
}
