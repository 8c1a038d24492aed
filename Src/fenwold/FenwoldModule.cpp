// The server program's classes are added here as the driver grows.
namespace fenwold { int anchor() { return 0; } }
