using System.Runtime.CompilerServices;
using System.Runtime.InteropServices;

namespace Zolt;

// The library's five functions as it exports them. Statuses are signed bytes,
// texts are UTF-8, and the convention is stated because 32-bit Windows has
// more than one.
internal static unsafe partial class NativeMethods
{
    // "libZolt.so" on Linux, "Zolt.dll" on Windows: the runtime adds the rest.
    private const string Library = "Zolt";

    // The open keeps the system's error: a status alone often leaves the
    // host guessing why the slave did not start.
    [LibraryImport(Library, StringMarshalling = StringMarshalling.Utf8, SetLastError = true)]
    [UnmanagedCallConv(CallConvs = new[] { typeof(CallConvCdecl) })]
    internal static partial sbyte ZoltMasterOpen(sbyte channel, string? slavePath);

    [LibraryImport(Library, StringMarshalling = StringMarshalling.Utf8)]
    [UnmanagedCallConv(CallConvs = new[] { typeof(CallConvCdecl) })]
    internal static partial sbyte ZoltMasterWrite(sbyte channel, string? command);

    // A pointer, not a string: the buffer is the library's, and a string
    // return would have the marshaller free it.
    [LibraryImport(Library)]
    [UnmanagedCallConv(CallConvs = new[] { typeof(CallConvCdecl) })]
    internal static partial byte* ZoltMasterRead(sbyte channel);

    [LibraryImport(Library)]
    [UnmanagedCallConv(CallConvs = new[] { typeof(CallConvCdecl) })]
    internal static partial sbyte ZoltMasterEvent(sbyte channel, delegate* unmanaged[Cdecl]<void> callback);

    [LibraryImport(Library)]
    [UnmanagedCallConv(CallConvs = new[] { typeof(CallConvCdecl) })]
    internal static partial sbyte ZoltMasterClose(sbyte channel);
}
