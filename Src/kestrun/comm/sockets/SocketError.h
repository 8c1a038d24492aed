#pragma once
// Socket failures are reported with their Windows socket error numbers (10000 range),
// so the status-code texts and the log lines read the same on every platform.

// Windows socket error number for an errno value of a socket call; 0 for 0.
// Values with no counterpart give WSASYSCALLFAILURE (10107).
int WsaErrorFromErrno(int err);

// Windows socket error number for a getaddrinfo() result (EAI_*); 0 for 0.
int WsaErrorFromGai(int gaiError);

// What a socket call's errno means, in English whatever the locale, for the log;
// nullptr for a value the table does not hold.
const char* SocketErrnoText(int err);
