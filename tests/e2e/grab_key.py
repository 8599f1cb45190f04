# Holds Ctrl+Alt+K on the X root window (a passive grab through Xlib), as another program that
# took the key first would; says "ready" once the server has the grab, then waits to be killed.
import ctypes, time
x = ctypes.CDLL("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x.XDefaultRootWindow.restype = ctypes.c_ulong
x.XStringToKeysym.restype = ctypes.c_ulong
x.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x.XGrabKey.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_uint, ctypes.c_ulong] + [ctypes.c_int] * 3
x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
d = x.XOpenDisplay(None)
code = x.XKeysymToKeycode(d, x.XStringToKeysym(b"k"))
x.XGrabKey(d, code, 4 | 8, x.XDefaultRootWindow(d), 1, 1, 1)  # Control + Mod1
x.XSync(d, 0)
print("ready", flush=True)
time.sleep(600)
