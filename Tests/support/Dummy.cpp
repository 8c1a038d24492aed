// Keeps the support library non-empty before it has sources of its own.
namespace tessaro::testsupport { int anchor() { return 0; } }
