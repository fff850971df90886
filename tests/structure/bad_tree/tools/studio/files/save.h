// The studio's saving (a stand-in).
