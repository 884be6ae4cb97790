namespace kov {}
