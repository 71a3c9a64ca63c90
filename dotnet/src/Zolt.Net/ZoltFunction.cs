namespace Zolt;

/// <summary>The library functions that return a status.</summary>
public enum ZoltFunction
{
    /// <summary><c>ZoltMasterOpen</c>: open a channel and start its slave.</summary>
    Open,

    /// <summary><c>ZoltMasterWrite</c>: send one command and wait for the reply.</summary>
    Write,

    /// <summary><c>ZoltMasterEvent</c>: register the notification callback.</summary>
    Event,

    /// <summary><c>ZoltMasterClose</c>: send <c>Close</c> and close the channel.</summary>
    Close,
}
