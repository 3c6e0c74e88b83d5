// Keeps the object-model library buildable until its first class lands.
namespace Orvex { int placeholder_unused = 0; }
