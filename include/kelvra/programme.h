/* Part of the Kelvra public interface; include <kelvra/kelvra.h>, not this file. */
#pragma once
