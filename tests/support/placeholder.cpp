// Keeps the support library non-empty until it has sources of its own.
namespace larkspan::test {} 
